// zorbilo_assetgen OUTDIR: writes every picture, sound and piece of music of the game under
// OUTDIR, at the same relative paths as in the source tree, byte for byte the same each run.
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "assetgen.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTDIR\n", argc > 0 ? argv[0] : "zorbilo_assetgen");
    return 2;
  }
  namespace fs = std::filesystem;
  const fs::path root(argv[1]);
  std::vector<assetgen::OutFile> files = assetgen::makePictures();
  for (auto& f : assetgen::makeSounds()) files.push_back(std::move(f));
  for (auto& f : assetgen::makeMusic()) files.push_back(std::move(f));
  int failures = 0;
  for (const auto& f : files) {
    const fs::path path = root / f.path;
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(f.bytes.data()),
              static_cast<std::streamsize>(f.bytes.size()));
    out.close();
    if (!out) {
      std::fprintf(stderr, "zorbilo_assetgen: cannot write %s\n", path.string().c_str());
      ++failures;
    }
  }
  return failures ? 1 : 0;
}
