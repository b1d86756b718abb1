#include "update/win/WinDownloadFiles.h"

#include <windows.h>

#include "app/win/Handles.h"

namespace mt {

namespace {

class WinDownloadFiles : public DownloadFiles {
 public:
  bool FileExists(const std::string& path) override {
    const DWORD a = ::GetFileAttributesW(Widen(path).c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
  }
  bool DirectoryExists(const std::string& path) override {
    const DWORD a = ::GetFileAttributesW(Widen(path).c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
  }
  bool MakeDirectory(const std::string& path) override {
    return ::CreateDirectoryW(Widen(path).c_str(), nullptr) != 0;
  }
  bool RemoveFile(const std::string& path) override {
    return ::DeleteFileW(Widen(path).c_str()) != 0;
  }
  void WriteAll(const std::string& path, const std::string& bytes) override {
    UniqueFileHandle file(::CreateFileW(Widen(path).c_str(), GENERIC_WRITE, 0, nullptr,
                                        CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) Fail("Cannot create file", path);
    size_t done = 0;
    while (done < bytes.size()) {
      const DWORD part = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 30));
      DWORD written = 0;
      if (!::WriteFile(file.get(), bytes.data() + done, part, &written, nullptr) || written != part) {
        Fail("Unable to write to", path);
      }
      done += written;
    }
    if (!::FlushFileBuffers(file.get())) Fail("Unable to write to", path);
  }
  void Rename(const std::string& from, const std::string& to) override {
    if (!::MoveFileExW(Widen(from).c_str(), Widen(to).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      Fail("Cannot rename", from);
    }
  }

 private:
  [[noreturn]] static void Fail(const char* what, const std::string& path) {
    const DWORD code = ::GetLastError();
    throw AppError(std::string(what) + " \"" + path + "\". " + SystemErrorText(code));
  }
};

}  // namespace

DownloadFiles& RealDownloadFiles() {
  static WinDownloadFiles files;
  return files;
}

}  // namespace mt
