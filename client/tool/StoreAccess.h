// The store as the tool reaches it: on Linux the PelorinClient class of the shared
// library, on Windows the registered component. Each platform has its own file.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace pelorin::tool {

// A failed store method: the error number and text the component reported.
struct StoreFailure {
    int number = 0;
    std::string text;
};

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
};

// Creates the store client; throws StoreFailure when it cannot be created.
std::unique_ptr<StoreAccess> OpenStoreAccess();

// Standard input and output carry bytes unchanged (no line-end translation).
void UseBinaryStreams();

}  // namespace pelorin::tool
