// The store as the tool reaches it: on Linux the PelorinClient class of the shared
// library, on Windows the registered component, and for the methods that stream a
// content the PelorinClient class linked into the tool (the component's methods hold
// a content whole). Each platform has its own file.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace pelorin::tool {

// A failed store method: the error number and text the component reported, and the
// status of the store's answer: 0 when there was none (no server, connection failed),
// -1 when the store behind the tool cannot tell.
struct StoreFailure {
    int number = 0;
    std::string text;
    double status = -1;
};

// The bytes of a content moved so far and its length (-1 when not known).
using StoreProgress = std::function<void(std::uint64_t done, std::int64_t total)>;
using StoreSink = std::function<void(std::string_view piece)>;

// One store client object. Every method throws StoreFailure when it fails.
class StoreAccess {
  public:
    virtual ~StoreAccess() = default;
    virtual void SetPort(std::int32_t port) = 0;
    virtual void NewFolder(const std::string& name) = 0;
    virtual void NewFile(const std::string& name) = 0;
    virtual void DeleteFolder(const std::string& name) = 0;
    virtual void DeleteFile(const std::string& name) = 0;
    virtual std::string DirFolder(const std::string& name) = 0;
    virtual bool DirFile(const std::string& name) = 0;
    virtual std::string GetFile(const std::string& name) = 0;
    virtual void SetFile(const std::string& name, const std::string& content) = 0;
    // The content in pieces, never held whole: to a sink (what it throws is thrown on),
    // to a local file (whole or not at all), from a local file.
    virtual void GetFileTo(const std::string& name, const StoreSink& sink,
                           const StoreProgress& progress) = 0;
    virtual void GetFileToFile(const std::string& name, const std::string& path,
                               const StoreProgress& progress) = 0;
    virtual void SetFileFromFile(const std::string& name, const std::string& path,
                                 const StoreProgress& progress) = 0;
};

// Creates the store client; throws StoreFailure when it cannot be created.
std::unique_ptr<StoreAccess> OpenStoreAccess();

// Standard input and output carry bytes unchanged (no line-end translation).
void UseBinaryStreams();

// Standard error is a terminal (not a file or a pipe).
bool ErrorIsTerminal();

}  // namespace pelorin::tool
