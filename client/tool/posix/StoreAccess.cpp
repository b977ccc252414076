// The tool's store on Linux: the PelorinClient class of the shared library.
#include "client/tool/StoreAccess.h"

#include <unistd.h>

#include "client/PelorinClient.h"

namespace pelorin::tool {
namespace {

class LibraryStore final : public StoreAccess {
  public:
    void SetPort(std::int32_t port) override {
        Guarded([&] { client_.SetPort(port); });
    }
    void NewFolder(const std::string& name) override {
        Guarded([&] { client_.NewFolder(name); });
    }
    void NewFile(const std::string& name) override {
        Guarded([&] { client_.NewFile(name); });
    }
    void DeleteFolder(const std::string& name) override {
        Guarded([&] { client_.DeleteFolder(name); });
    }
    void DeleteFile(const std::string& name) override {
        Guarded([&] { client_.DeleteFile(name); });
    }
    std::string DirFolder(const std::string& name) override {
        return Guarded([&] { return client_.DirFolder(name); });
    }
    bool DirFile(const std::string& name) override {
        return Guarded([&] { return client_.DirFile(name); });
    }
    std::string GetFile(const std::string& name) override {
        return Guarded([&] { return client_.GetFile(name); });
    }
    void SetFile(const std::string& name, const std::string& content) override {
        Guarded([&] { client_.SetFile(name, content); });
    }
    void GetFileTo(const std::string& name, const StoreSink& sink,
                   const StoreProgress& progress) override {
        Guarded([&] { client_.GetFileTo(name, sink, progress); });
    }
    void GetFileToFile(const std::string& name, const std::string& path,
                       const StoreProgress& progress) override {
        Guarded([&] { client_.GetFileTo(name, path, progress); });
    }
    void SetFileFromFile(const std::string& name, const std::string& path,
                         const StoreProgress& progress) override {
        Guarded([&] { client_.SetFileFrom(name, path, progress); });
    }

  private:
    template <class Call>
    auto Guarded(Call call) -> decltype(call()) {
        try {
            return call();
        } catch (const PelorinClientError& e) {
            throw StoreFailure{e.number(), e.what(), client_.LastStatus()};
        }
    }

    PelorinClient client_;
};

}  // namespace

std::unique_ptr<StoreAccess> OpenStoreAccess() {
    return std::make_unique<LibraryStore>();
}

// Linux streams never translate line ends.
void UseBinaryStreams() {}

bool ErrorIsTerminal() {
    return isatty(STDERR_FILENO) == 1;
}

}  // namespace pelorin::tool
