// The profile functions, the program folder and the settings rule, on hand-written files.
#include "platform/profile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include "common/App.h"
#include "common/Settings.h"
#include "giant_file.h"

namespace fs = std::filesystem;
using namespace std::string_literals;

namespace {

std::string Slurp(const std::string& path) {
  std::ostringstream s;
  s << std::ifstream(path, std::ios::binary).rdbuf();
  return s.str();
}
void Spit(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}
size_t Count(const std::string& dir) {
  return static_cast<size_t>(std::distance(fs::directory_iterator(dir), {}));
}

// Runs fn where permissions mean what they say: as root, in a child that has given root up.
[[maybe_unused]] bool Unprivileged(const std::function<bool()>& fn) {
#ifdef _WIN32
  return fn();  // no superuser on Windows
#else
  if (geteuid() != 0) return fn();
  pid_t pid = fork();
  if (pid < 0) return false;  // untested is not passed
  if (pid == 0) _exit(setgid(65534) == 0 && setuid(65534) == 0 && fn() ? 0 : 1);
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
#endif
}

class Profile : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/profile_test.XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
    chmod(dir.c_str(), 0755);  // the unprivileged child must see into it
    ini = dir + "/Zorbilo.ini";
  }
  void TearDown() override {
    chmod(dir.c_str(), 0755);
    fs::remove_all(dir);
  }
  int32_t Int(const char* section, const char* key, const std::string& file = "") {
    return static_cast<int32_t>(
        GetPrivateProfileIntA(section, key, -77, (file.empty() ? ini : file).c_str()));
  }
  BOOL Write(const char* section, const char* key, const char* value) {
    return WritePrivateProfileStringA(section, key, value, ini.c_str());
  }
  std::string dir, ini;
};

TEST_F(Profile, ReadsSignedDecimalsSaturatedInBothLineEndings) {
  const std::pair<const char*, int32_t> cases[] = {{"-1", -1},
                                                   {"7", 7},
                                                   {"yes", 0},
                                                   {"", 0},
                                                   {"  \t+12", 12},
                                                   {"42abc", 42},
                                                   {"- 5", 0},
                                                   {"0x10", 0},
                                                   {"2147483647", INT32_MAX},
                                                   {"2147483648", INT32_MAX},
                                                   {"99999999999999999999999", INT32_MAX},
                                                   {"-2147483648", INT32_MIN},
                                                   {"-2147483649", INT32_MIN},
                                                   {"-99999999999999999999999", INT32_MIN}};
  for (const char* eol : {"\n", "\r\n"}) {
    std::string file = "[S]"s + eol;
    for (size_t i = 0; i < std::size(cases); ++i)
      file += "k" + std::to_string(i) + "=" + cases[i].first + eol;
    Spit(ini, file);
    for (size_t i = 0; i < std::size(cases); ++i)
      EXPECT_EQ(Int("S", ("k" + std::to_string(i)).c_str()), cases[i].second)
          << "value \"" << cases[i].first << "\" with " << (eol[1] ? "CRLF" : "LF");
  }
  EXPECT_EQ(GetPrivateProfileIntA("S", "k12", 0, ini.c_str()), 0x80000000u);  // a UINT pattern
}

TEST_F(Profile, FindsKeysOnlyInTheFirstSectionOfThatNameWhateverTheCase) {
  Spit(ini,
       "ShowFPS=1\n  [ setting ]  \n\t fullscreen \t=  5  \nRClick=1\nrclick=2\n"
       "[Other]\nShowFPS=2\n[SETTING]\nRClick=3\nShowFPS=4\n");
  EXPECT_EQ(Int(" Setting", "FULLSCREEN "), 5);
  EXPECT_EQ(Int("Setting", "RClick"), 1);     // the first duplicate wins
  EXPECT_EQ(Int("Setting", "ShowFPS"), -77);  // neither outside a section nor in a later copy
  EXPECT_EQ(Int("Setting", "Missing"), -77);
  EXPECT_EQ(Int("Nowhere", "RClick"), -77);
  EXPECT_EQ(Int("Setting", "RClick", dir + "/none.ini"), -77);
}

TEST_F(Profile, OddBytesReadAndSurviveAWrite) {
  const std::string odd = "\xEF\xBB\xBF[S]\nbin=\x01\xff\nzero=1\0x\nnul\0key=3\n"s +
                          std::string(5000, '[') + "\n[L]\nlong=" + std::string(20000, '7') +
                          "\nafter=4";
  Spit(ini, odd);
  EXPECT_EQ(Int("S", "bin"), 0);
  EXPECT_EQ(Int("S", "zero"), 1);
  EXPECT_EQ(Int("S", "nul"), -77);  // a name with a NUL byte is another name
  EXPECT_EQ(Int("L", "long"), INT32_MAX);
  EXPECT_EQ(Int("L", "after"), 4);
  EXPECT_EQ(Write("L", "after", "5"), TRUE);
  EXPECT_EQ(Slurp(ini), odd.substr(0, odd.size() - 1) + "5");  // no newline added either
  Spit(ini, "[Setting]\r\nShowFPS=1\r");                       // CRLF file cut after '\r'
  EXPECT_EQ(Int("Setting", "ShowFPS"), 1);
}

TEST_F(Profile, WritesCreateAppendAndRewriteInPlace) {
  EXPECT_EQ(Write("Setting", "FullScreen", "1"), TRUE);
  EXPECT_EQ(Write("Setting", "RClick", "1"), TRUE);
  EXPECT_EQ(Write("Score", "Total", "30001"), TRUE);
  EXPECT_EQ(Slurp(ini), "[Setting]\r\nFullScreen=1\r\nRClick=1\r\n[Score]\r\nTotal=30001\r\n");

  Spit(ini, "; mine\n[Other]\nFullScreen=9\n\n[setting]\n  FULLSCREEN = 5  \nodd line\n\n[T]\n");
  EXPECT_EQ(Write("Setting", "FullScreen", "1"), TRUE);  // keeps its place and its spelling
  EXPECT_EQ(Write("SETTING", "ShowFPS", "1"), TRUE);     // after the last line that is not blank
  EXPECT_EQ(Slurp(ini),
            "; mine\n[Other]\nFullScreen=9\n\n[setting]\nFULLSCREEN=1\nodd line\n"
            "ShowFPS=1\n\n[T]\n");

  Spit(ini, "[A]\r\nx=1\n[Setting]\nRClick=2\r\n");  // the first line ending is the file's own
  EXPECT_EQ(Write("Setting", "RClick", "1"), TRUE);
  EXPECT_EQ(Write("B", "y", "2"), TRUE);
  EXPECT_EQ(Slurp(ini), "[A]\r\nx=1\n[Setting]\nRClick=1\r\n[B]\r\ny=2\r\n");

  Spit(ini, "[Setting]\nNoLayer=1");
  EXPECT_EQ(Write("Score", "Total", "5"), TRUE);
  EXPECT_EQ(Slurp(ini), "[Setting]\nNoLayer=1\n[Score]\nTotal=5\n");
  Spit(ini, "[Setting]");
  EXPECT_EQ(Write("Setting", "RClick", "1"), TRUE);
  EXPECT_EQ(Slurp(ini), "[Setting]\r\nRClick=1\r\n");

  Spit(ini, "[Setting]\nRClick=0\nRClick=0\n[Setting]\nRClick=0\n");
  EXPECT_EQ(Write("setting", "rclick", "1"), TRUE);  // the first duplicate is rewritten
  EXPECT_EQ(Slurp(ini), "[Setting]\nRClick=1\nRClick=0\n[Setting]\nRClick=0\n");
}

TEST_F(Profile, NullValueDeletesTheKeyAndNullKeyTheSection) {
  Spit(ini, "[Other]\nShowFPS=1\n[Setting]\nFullScreen=1\nShowFPS=2\nNoLayer=1\nshowfps=3\n");
  EXPECT_EQ(Write("Setting", "ShowFPS", nullptr), TRUE);  // duplicates too: it reads as absent
  EXPECT_EQ(Write("Setting", "RClick", nullptr), TRUE);   // not there: nothing changes
  EXPECT_EQ(Write("Nowhere", "RClick", nullptr), TRUE);
  EXPECT_EQ(Slurp(ini), "[Other]\nShowFPS=1\n[Setting]\nFullScreen=1\nNoLayer=1\n");
  EXPECT_EQ(Write("Setting", "FullScreen", ""), TRUE);  // an empty value is still a value
  EXPECT_EQ(Slurp(ini), "[Other]\nShowFPS=1\n[Setting]\nFullScreen=\nNoLayer=1\n");
  EXPECT_EQ(WritePrivateProfileStringA("S", "k", nullptr, (dir + "/new.ini").c_str()), TRUE);
  EXPECT_FALSE(fs::exists(dir + "/new.ini"));

  Spit(ini, "[Score]\r\nTotal=1\r\n[Secret]\r\nPassword=x\r\n\r\n[score]\r\nTotal=2\r\n[End]\r\n");
  EXPECT_EQ(Write("Score", nullptr, nullptr), TRUE);
  EXPECT_EQ(Slurp(ini), "[Secret]\r\nPassword=x\r\n\r\n[End]\r\n");
}

TEST_F(Profile, HighScoreFileUnderItsJapaneseName) {
  const std::string scores = dir + "/ハイスコア.txt";
  EXPECT_EQ(WritePrivateProfileStringA("Score", "Total", "30001", scores.c_str()), TRUE);
  EXPECT_EQ(WritePrivateProfileStringA("Secret", "Password", "kR4pW81ZmtXe", scores.c_str()), TRUE);
  EXPECT_EQ(Slurp(scores), "[Score]\r\nTotal=30001\r\n[Secret]\r\nPassword=kR4pW81ZmtXe\r\n");
  EXPECT_EQ(Int("Score", "Total", scores), 30001);
  Spit(scores, "[Score]\r\nTotal=-5\r\n");
  EXPECT_EQ(Int("Score", "Total", scores), -5);
}

TEST_F(Profile, BadArgumentsAndTextThatWouldBreakTheFileAreRefused) {
  const std::string old = "[Setting]\nRClick=1\n";
  Spit(ini, old);
  EXPECT_EQ(GetPrivateProfileIntA(nullptr, "RClick", 4, ini.c_str()), 4u);
  EXPECT_EQ(GetPrivateProfileIntA("Setting", nullptr, 4, ini.c_str()), 4u);
  EXPECT_EQ(GetPrivateProfileIntA("Setting", "RClick", 4, nullptr), 4u);
  EXPECT_EQ(WritePrivateProfileStringA(nullptr, "k", "1", ini.c_str()), FALSE);
  EXPECT_EQ(WritePrivateProfileStringA("S", "k", "1", nullptr), FALSE);
  EXPECT_EQ(WritePrivateProfileStringA("S", "k", "1", ""), FALSE);
  for (auto [section, key, value] : {std::tuple{"Setting", "ShowFPS", "1\n[Evil]\nx=1"},
                                     {"Setting", "Show\rFPS", "1"},
                                     {"Setting", "a=b", "1"},
                                     {"Setting", "[x", "1"},
                                     {"Set]ting", "k", "1"},
                                     {"Set\nting", "k", "1"}})
    EXPECT_EQ(Write(section, key, value), FALSE) << key << " / " << value;
  EXPECT_EQ(Slurp(ini), old);
}

TEST_F(Profile, WhatIsNotAWritableFileStaysAsItWas) {
  fs::create_directory(ini);
  EXPECT_EQ(Int("Setting", "RClick"), -77);
  EXPECT_EQ(Write("Setting", "RClick", "1"), FALSE);
  fs::remove(ini);
// Windows has no named pipes in folders; node's file system makes a plain file for one.
#if !defined(_WIN32) && !defined(__EMSCRIPTEN__)
  ASSERT_EQ(mkfifo(ini.c_str(), 0644), 0);  // must not wait for a writer
  EXPECT_EQ(Int("Setting", "RClick"), -77);
  EXPECT_EQ(Write("Setting", "RClick", "1"), FALSE);
  EXPECT_TRUE(fs::is_fifo(ini));
  fs::remove(ini);
#endif
  EXPECT_EQ(WritePrivateProfileStringA("S", "k", "1", (dir + "/no/such/x.ini").c_str()), FALSE);

  const std::string old = "[Setting]\r\nFullScreen=1\r\nNoLayer=1\r\n", file = ini;
  Spit(ini, old);
  chmod(ini.c_str(), 0444);  // a read-only file, even where the folder would allow a rename
  EXPECT_EQ(Write("Setting", "RClick", "1"), FALSE);
  chmod(ini.c_str(), 0644);
// A folder's read-only attribute does not protect its files on Windows. WebAssembly has no
// users: its geteuid answers 0 whoever runs node, and no process of its own can give rights up.
#if !defined(_WIN32) && !defined(__EMSCRIPTEN__)
  chmod(dir.c_str(), 0555);  // a read-only folder
  EXPECT_TRUE(Unprivileged([&] {
    return GetPrivateProfileIntA("Setting", "FullScreen", 0, file.c_str()) == 1 &&
           !WritePrivateProfileStringA("Setting", "FullScreen", nullptr, file.c_str()) &&
           !WritePrivateProfileStringA("Other", "k", "1", (file + "2").c_str());
  }));
  chmod(ini.c_str(), 0600);  // a file this user cannot read, in a folder it may write
  chmod(dir.c_str(), 0777);
  if (geteuid() == 0) {
    EXPECT_TRUE(Unprivileged(
        [&] { return !WritePrivateProfileStringA("Setting", "RClick", "1", file.c_str()); }));
  }
#endif
  EXPECT_EQ(Slurp(ini), old);
  EXPECT_EQ(Count(dir), 1u);  // and no temporary file is left behind
}

#ifndef _WIN32  // Unix permission bits and symbolic links
TEST_F(Profile, WriteKeepsPermissionsAndWritesThroughLinks) {
  Spit(ini, "[Setting]\nNoLayer=1\n");
  chmod(ini.c_str(), 0640);
  fs::create_symlink(ini, dir + "/link.ini");
  EXPECT_EQ(WritePrivateProfileStringA("Setting", "RClick", "1", (dir + "/link.ini").c_str()),
            TRUE);
  EXPECT_TRUE(fs::is_symlink(dir + "/link.ini"));
  EXPECT_EQ(Slurp(ini), "[Setting]\nNoLayer=1\nRClick=1\n");
  EXPECT_EQ(fs::status(ini).permissions(), fs::perms(0640));
  EXPECT_EQ(Count(dir), 2u);
}
#endif

TEST_F(Profile, LoneCarriageReturnsEndLinesAndAWriteKeepsThem) {
  Spit(ini, "[Setting]\rShowFPS=2\rRClick=1\r");
  EXPECT_EQ(Int("Setting", "ShowFPS"), 2);
  EXPECT_EQ(Int("Setting", "RClick"), 1);
  EXPECT_EQ(Int("Setting", "FullScreen"), -77);
  EXPECT_EQ(Write("Setting", "FullScreen", "1"), TRUE);
  EXPECT_EQ(Write("Setting", "ShowFPS", nullptr), TRUE);
  EXPECT_EQ(Write("Score", "Total", "5"), TRUE);
  EXPECT_EQ(Slurp(ini), "[Setting]\rRClick=1\rFullScreen=1\r[Score]\rTotal=5\r");

  // CR LF is one ending, CR CR LF two; each kind ends a line wherever it stands.
  Spit(ini, "[A]\r\n\r\nx=3\r\r\ny=4\n[B]\rz=5");
  EXPECT_EQ(Int("A", "x"), 3);
  EXPECT_EQ(Int("A", "y"), 4);
  EXPECT_EQ(Int("B", "z"), 5);
  EXPECT_EQ(Write("B", "w", "6"), TRUE);  // the first ending of the file is its own
  EXPECT_EQ(Slurp(ini), "[A]\r\n\r\nx=3\r\r\ny=4\n[B]\rz=5\r\nw=6\r\n");

  // A lone CR written just before an empty LF line would fuse the two into one CR LF and lose
  // that blank line (and with it whatever the line after it was taken to be).
  Spit(ini, "\r[A]\nx=1\n\n [B]\n");
  EXPECT_EQ(Write("A", "k", "2"), TRUE);
  EXPECT_EQ(Slurp(ini), "\r[A]\nx=1\nk=2\r\n\n [B]\n");
  Spit(ini, "\r[A]\nx=1\rk=2\n\n[B]\n");
  EXPECT_EQ(Write("A", "k", nullptr), TRUE);
  EXPECT_EQ(Slurp(ini), "\r[A]\nx=1\r\n\n[B]\n");
}

TEST_F(Profile, AFileBiggerThanAnyProfileReadsAsAbsentAndIsNeverWritten) {
  // A giant file whose first lines are a good profile: neither the memory nor the time to read
  // it is spent.
  const std::string head = "[Setting]\nRClick=1\n";
  Spit(ini, head);
  const uintmax_t giant = giant_file::kSize;
  if (std::string why; !giant_file::Grow(ini, why)) GTEST_SKIP() << why;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Int("Setting", "RClick"), -77);
  EXPECT_EQ(Write("Setting", "RClick", nullptr), FALSE);
  EXPECT_EQ(Write("Setting", "FullScreen", "1"), FALSE);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
  EXPECT_EQ(fs::file_size(ini), giant);
  EXPECT_EQ(Count(dir), 1u);

  // 1 MiB is the most a profile file may hold.
  std::string full = head + "; " + std::string((1u << 20) - head.size() - 3, 'x') + "\n";
  ASSERT_EQ(full.size(), 1u << 20);
  Spit(ini, full);
  EXPECT_EQ(Int("Setting", "RClick"), 1);
  EXPECT_EQ(Write("Setting", "RClick", nullptr), TRUE);
  Spit(ini, full + "\n");
  EXPECT_EQ(Int("Setting", "RClick"), -77);
  EXPECT_EQ(Write("Setting", "RClick", "2"), FALSE);
  EXPECT_EQ(Slurp(ini), full + "\n");
}

#ifndef _WIN32  // child processes by fork, and symbolic links
TEST_F(Profile, TemporaryFilesOfWritersThatAreGoneAreRemovedBeforeAWrite) {
  const pid_t dead = fork();
  if (dead == 0) _exit(0);
  waitpid(dead, nullptr, 0);
  const std::string d = std::to_string(dead), me = std::to_string(getpid());
  const std::string stale[] = {".Zorbilo.ini." + d + "-1-2.tmp",
                               ".Zorbilo.ini." + me + "-9-9.tmp"};  // an earlier process's
  const std::string kept[] = {".Zorbilo.ini.1-1-2.tmp",             // its writer still runs
                              ".Zorbilo.ini." + d + "-1.tmp",       // not a name we give
                              ".Zorbilo.ini.x-1-2.tmp",
                              ".other.ini." + d + "-1-2.tmp",  // another file's
                              "Zorbilo.ini." + d + "-1-2.tmp",
                              ".Zorbilo.ini." + d + "-1-2.tmp.bak"};
  for (const auto& n : stale) Spit(dir + "/" + n, "[Setting]\r\n");
  for (const auto& n : kept) Spit(dir + "/" + n, "x");
  EXPECT_EQ(Write("Setting", "RClick", "1"), TRUE);
  for (const auto& n : stale) EXPECT_FALSE(fs::exists(dir + "/" + n)) << n;
  for (const auto& n : kept) EXPECT_TRUE(fs::exists(dir + "/" + n)) << n;
  EXPECT_EQ(Count(dir), 1u + std::size(kept));
}

TEST_F(Profile, DanglingLinksAreWrittenThroughAndMakeTheirTarget) {
  fs::create_symlink("target.ini", ini);  // relative to the link's folder
  EXPECT_EQ(Int("Setting", "RClick"), -77);
  EXPECT_EQ(Write("Setting", "RClick", "1"), TRUE);
  EXPECT_TRUE(fs::is_symlink(ini));
  EXPECT_EQ(Slurp(dir + "/target.ini"), "[Setting]\r\nRClick=1\r\n");
  EXPECT_EQ(Int("Setting", "RClick"), 1);

  const std::string two = dir + "/two.ini", one = dir + "/one.ini", end = dir + "/end.ini";
  fs::create_symlink(one, two);
  fs::create_symlink(end, one);  // a chain, absolute this time
  EXPECT_EQ(WritePrivateProfileStringA("Score", "Total", "7", two.c_str()), TRUE);
  EXPECT_TRUE(fs::is_symlink(two) && fs::is_symlink(one));
  EXPECT_EQ(Slurp(end), "[Score]\r\nTotal=7\r\n");

  // Nowhere to write: a folder that is not there is not made, and a loop stays a loop.
  const std::string away = dir + "/away.ini", a = dir + "/a.ini", b = dir + "/b.ini";
  fs::create_symlink(dir + "/no/such/folder/x.ini", away);
  EXPECT_EQ(WritePrivateProfileStringA("S", "k", "1", away.c_str()), FALSE);
  EXPECT_FALSE(fs::exists(dir + "/no"));
  fs::create_symlink(b, a);
  fs::create_symlink(a, b);
  EXPECT_EQ(WritePrivateProfileStringA("S", "k", "1", a.c_str()), FALSE);
  EXPECT_TRUE(fs::is_symlink(a) && fs::is_symlink(b));
  EXPECT_EQ(Count(dir), 8u);
}

// Two processes adding one to a number in the same file many times over: under the lock no
// increment is lost, and the write inside it does not wait for its own lock.
TEST_F(Profile, ReadChangeWriteUnderTheLockIsOneStepBetweenProcesses) {
  constexpr int kEach = 40;
  auto counter = [&] {
    for (int i = 0; i < kEach; ++i) {
      const platform::ProfileLock lock(ini.c_str());
      const auto n = static_cast<int32_t>(GetPrivateProfileIntA("Count", "n", 0, ini.c_str()));
      if (!WritePrivateProfileStringA("Count", "n", std::to_string(n + 1).c_str(), ini.c_str()))
        _exit(1);
    }
    _exit(0);
  };
  pid_t kids[2];
  for (pid_t& k : kids)
    if ((k = fork()) == 0) counter();
  for (pid_t k : kids) {
    int status = 0;
    waitpid(k, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  EXPECT_EQ(Int("Count", "n"), 2 * kEach);
  EXPECT_EQ(Count(dir), 1u);
}
#endif

// The program folder and the settings rule.
class AppPath : public Profile {
 protected:
  void SetUp() override {
    Profile::SetUp();
    saved = App.Path;
    cwd = fs::current_path();
    path_env = std::getenv("PATH") ? std::getenv("PATH") : "";
  }
  void TearDown() override {
    App.Path = saved;
    fs::current_path(cwd);
    setenv("PATH", path_env.c_str(), 1);
    Profile::TearDown();
  }
  void Program(const std::string& p) {
    fs::create_directories(fs::path(p).parent_path());
    Spit(p, "#!/bin/sh\n");
    chmod(p.c_str(), 0755);
  }
  std::string Exe() { return fs::read_symlink("/proc/self/exe").parent_path().string(); }
  std::string saved, path_env;
  fs::path cwd;
};

#ifdef _WIN32
TEST_F(AppPath, FolderOfTheProgramItselfWhateverItWasCalled) {
  // ctest starts the suite in its own folder; the name it was started by does not matter.
  for (const char* argv0 : {"profile_test", "C:\\elsewhere\\x.exe", "", "/opt/設定"}) {
    App.Init(argv0);
    EXPECT_TRUE(fs::equivalent(fs::u8path(App.Path), cwd)) << argv0 << " -> " << App.Path;
    EXPECT_NE(App.Path.back(), '\\');
  }
  App.Init(nullptr);
  EXPECT_TRUE(fs::equivalent(fs::u8path(App.Path), cwd));
}
#else  // the folder as started, links and the PATH search
TEST_F(AppPath, FolderOfTheProgramAsStartedLexically) {
  EXPECT_EQ(saved, Exe());  // before Init; nothing in this program calls it
  fs::create_directories(dir + "/a/b");
  fs::current_path(dir + "/a");
  const std::pair<const char*, std::string> cases[] = {
      {"/opt/zorbilo/./bin/Zorbilo", "/opt/zorbilo/bin"},
      {"./設定", dir + "/a"},
      {"b/../b/Zorbilo", dir + "/a/b"},
      {"../Zorbilo", dir},
      {"/Zorbilo", ""}};
  for (auto& [argv0, folder] : cases) {
    App.Init(argv0);
    EXPECT_EQ(App.Path, folder) << argv0;
  }
  EXPECT_EQ(settings::FilePath(), "/Zorbilo.ini");  // the root folder has no trailing '/'
  App.Init(nullptr);
  EXPECT_EQ(App.Path, Exe());
}

TEST_F(AppPath, LinksAndThePathSearch) {
  Program(dir + "/install/Zorbilo");
  fs::create_directories(dir + "/user");
  fs::create_symlink(dir + "/install/Zorbilo", dir + "/user/Zorbilo");
  App.Init((dir + "/user/Zorbilo").c_str());
  EXPECT_EQ(App.Path, dir + "/user");  // the link's folder, not its target's

  fs::create_directories(dir + "/one/設定");  // a folder of that name is no program
  Spit(dir + "/one/Zorbilo", "not executable");
  Program(dir + "/two/設定");
  Program(dir + "/one/rel/tool");
  setenv("PATH", (dir + "/missing::" + dir + "/one:" + dir + "/user:" + dir + "/two").c_str(), 1);
  App.Init("Zorbilo");
  EXPECT_EQ(App.Path, dir + "/user");
  App.Init("設定");
  EXPECT_EQ(App.Path, dir + "/two");
  fs::current_path(dir + "/one");
  setenv("PATH", "rel", 1);  // relative entries count from the current folder
  App.Init("tool");
  EXPECT_EQ(App.Path, dir + "/one/rel");
  App.Init("no-such-program");
  EXPECT_EQ(App.Path, Exe());
  unsetenv("PATH");
  App.Init("tool");
  EXPECT_EQ(App.Path, Exe());
}

#endif

TEST_F(AppPath, SettingsAreReadFromTheProgramFolderAfresh) {
  App.Path = dir;
  EXPECT_EQ(settings::FilePath(), dir + "/Zorbilo.ini");
  EXPECT_EQ(settings::Read(settings::kFullScreen), 0);
  Spit(ini, "[setting]\r\nFullScreen=-1\r\nRClick=7\r\nShowFPS=yes\r\nNoLayer=\r\n");
  EXPECT_EQ(settings::Read(settings::kFullScreen), -1);
  EXPECT_EQ(settings::Read(settings::kRClick), 7);
  EXPECT_EQ(settings::Read(settings::kShowFPS), 0);
  EXPECT_EQ(settings::Read(settings::kNoLayer), 0);
  Spit(ini, "[Setting]\r\nShowFPS=2\r\n");  // nothing is cached between reads
  EXPECT_EQ(settings::Read(settings::kShowFPS), 2);
  EXPECT_EQ(settings::Read(settings::kFullScreen), 0);
}

}  // namespace
