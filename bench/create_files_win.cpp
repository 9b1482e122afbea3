// What creating files costs under Wine (bench/extract.sh): COUNT files of
// BYTES bytes spread over FOLDERS subfolders of DIR, each made the way the
// stub's unpacker makes a file (attributes asked, opened, written, dated,
// closed), then the time taken. Wine looks names up without regard to case,
// so a file costs more in a crowded folder: give the layout being compared.
//
//   create_files.exe DIR COUNT BYTES FOLDERS     prints "CreateTime: N MS"
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: create_files DIR COUNT BYTES FOLDERS\n");
    return 2;
  }
  const std::string dir = argv[1];
  const long count = std::atol(argv[2]);
  const std::string data(static_cast<std::size_t>(std::atol(argv[3])), 'x');
  const long folders = std::max(1L, std::atol(argv[4]));
  FILETIME local, stamp;
  DosDateTimeToFileTime(0x4A64, 0x4ADD, &local); // 2017-03-04 09:22:58
  LocalFileTimeToFileTime(&local, &stamp);
  CreateDirectoryA(dir.c_str(), nullptr);
  const DWORD start = GetTickCount();
  for (long i = 0; i < count; ++i) {
    char name[40];
    std::snprintf(name, sizeof name, "\\d%02ld", i % folders);
    const std::string folder = dir + name;
    if (GetFileAttributesA(folder.c_str()) == INVALID_FILE_ATTRIBUTES)
      CreateDirectoryA(folder.c_str(), nullptr);
    std::snprintf(name, sizeof name, "\\f%05ld.txt", i);
    const std::string path = folder + name;
    GetFileAttributesA(path.c_str()); // the unpacker asks whether the file is new
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return 1;
    DWORD written = 0;
    WriteFile(h, data.data(), static_cast<DWORD>(data.size()), &written, nullptr);
    SetFileTime(h, nullptr, nullptr, &stamp);
    CloseHandle(h);
  }
  std::printf("CreateTime: %lu MS\n", static_cast<unsigned long>(GetTickCount() - start));
  return 0;
}
