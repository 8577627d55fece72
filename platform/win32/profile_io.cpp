// The file-system side of the profile functions (see profile_io.h) on Windows: the
// wide-character Win32 API.
#include "platform/profile_io.h"

#include <string_view>
#include <thread>

#include "platform/profile_io_names.h"
#include "platform/win32/utf16.h"

namespace platform::profile_io {

using namespace names;

namespace {

using win32::Wide;

bool Alive(unsigned long pid) {
  if (pid == GetCurrentProcessId()) return false;  // not a write of ours: ours are under the lock
  HANDLE h = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
  if (!h) return GetLastError() == ERROR_ACCESS_DENIED;
  bool running = WaitForSingleObject(h, 0) == WAIT_TIMEOUT;
  CloseHandle(h);
  return running;
}

void RemoveStaleTemps(const string& path) {
  const string folder = FolderOf(path), prefix = TempPrefix(NameOf(path));
  WIN32_FIND_DATAW found;
  HANDLE find = FindFirstFileW(Wide(folder + "\\" + prefix + "*.tmp").c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    const string name = win32::Utf8(found.cFileName);
    const unsigned long pid = TempOwner(name, prefix);
    if (pid && !Alive(pid)) DeleteFileW(Wide(folder + "\\" + name).c_str());
  } while (FindNextFileW(find, &found));
  FindClose(find);
}

}  // namespace

ReadResult ReadWhole(const string& path, string& out) {
  out.clear();
  HANDLE h = CreateFileW(Wide(path).c_str(), GENERIC_READ,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    DWORD e = GetLastError();
    return e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND ? ReadResult::kMissing
                                                                  : ReadResult::kFailed;
  }
  LARGE_INTEGER size{};
  ReadResult r = ReadResult::kFailed;
  if (GetFileType(h) == FILE_TYPE_DISK && GetFileSizeEx(h, &size) && size.QuadPart >= 0 &&
      static_cast<unsigned long long>(size.QuadPart) <= kMaxFileBytes) {
    out.resize(static_cast<size_t>(size.QuadPart));
    DWORD got = 0;
    size_t done = 0;
    r = ReadResult::kOk;
    while (done < out.size()) {
      if (!::ReadFile(h, out.data() + done, static_cast<DWORD>(out.size() - done), &got, nullptr)) {
        r = ReadResult::kFailed;
        break;
      }
      if (got == 0) break;
      done += got;
    }
    out.resize(done);
  }
  CloseHandle(h);
  if (r != ReadResult::kOk) out.clear();
  return r;
}

string WriteTarget(const string& path) {
  // A live link is written through: its target is where the new file goes.
  DWORD a = GetFileAttributesW(Wide(path).c_str());
  if (a == INVALID_FILE_ATTRIBUTES || !(a & FILE_ATTRIBUTE_REPARSE_POINT)) return path;
  HANDLE h =
      CreateFileW(Wide(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return path;
  std::wstring buf(MAX_PATH, L'\0');
  DWORD n = GetFinalPathNameByHandleW(h, buf.data(), static_cast<DWORD>(buf.size()), 0);
  if (n >= buf.size()) {
    buf.resize(n + 1);
    n = GetFinalPathNameByHandleW(h, buf.data(), static_cast<DWORD>(buf.size()), 0);
  }
  CloseHandle(h);
  if (n == 0 || n >= buf.size()) return path;
  buf.resize(n);
  // "\\?\C:\..." and "\\?\UNC\server\..." back to ordinary paths, which take '/' as well.
  if (buf.rfind(L"\\\\?\\UNC\\", 0) == 0)
    buf = L"\\\\" + buf.substr(8);
  else if (buf.rfind(L"\\\\?\\", 0) == 0)
    buf = buf.substr(4);
  return win32::Utf8(buf);
}

bool MayReplace(const string& path) {
  DWORD a = GetFileAttributesW(Wide(path).c_str());
  return a != INVALID_FILE_ATTRIBUTES &&
         !(a & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY));
}

bool Replace(const string& path, const string& data) {
  RemoveStaleTemps(path);
  static unsigned counter = 0;
  HANDLE h = INVALID_HANDLE_VALUE;
  string tmp;
  for (int attempt = 0; attempt < 100 && h == INVALID_HANDLE_VALUE; ++attempt) {
    tmp = TempName(path, GetCurrentProcessId(), ++counter);
    h = CreateFileW(Wide(tmp).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                    nullptr);
    if (h == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) return false;
  }
  if (h == INVALID_HANDLE_VALUE) return false;
  bool ok = true;
  for (size_t done = 0; ok && done < data.size();) {
    DWORD wrote = 0;
    ok =
        WriteFile(h, data.data() + done, static_cast<DWORD>(data.size() - done), &wrote, nullptr) &&
        wrote > 0;
    done += wrote;
  }
  ok = ok && FlushFileBuffers(h);
  ok = CloseHandle(h) && ok;
  ok = ok && MoveFileExW(Wide(tmp).c_str(), Wide(path).c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
  if (!ok) DeleteFileW(Wide(tmp).c_str());
  return ok;
}

string Acquire(const string& path) {
  // A path whose links go round has no target: its own folder is locked instead.
  const string target = WriteTarget(path);
  string key = FolderOf(target.empty() ? path : target);
  Held& h = held[key];
  if (h.depth++ > 0) return key;
  // A named mutex per folder: the system releases it when its holder dies.
  uint64_t hash = 1469598103934665603ull;
  for (char c : key) {
    char lower = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c == '/' ? '\\' : c;
    hash = (hash ^ static_cast<unsigned char>(lower)) * 1099511628211ull;
  }
  wchar_t name[64];
  swprintf(name, 64, L"Local\\zorbilo-profile-%016llx", static_cast<unsigned long long>(hash));
  HANDLE m = CreateMutexW(nullptr, FALSE, name);
  if (!m) return key;
  DWORD w =
      WaitForSingleObject(m, static_cast<DWORD>(std::chrono::milliseconds(kLockPatience).count()));
  if (w == WAIT_OBJECT_0 || w == WAIT_ABANDONED)
    h.handle = reinterpret_cast<intptr_t>(m);
  else
    CloseHandle(m);
  return key;
}

void Release(const string& key) {
  auto it = held.find(key);
  if (it == held.end() || --it->second.depth > 0) return;
  if (it->second.handle != -1) {
    HANDLE m = reinterpret_cast<HANDLE>(it->second.handle);
    ReleaseMutex(m);
    CloseHandle(m);
  }
  held.erase(it);
}

}  // namespace platform::profile_io
