// The game under abuse: a long randomised soak with the rules of the game state checked after
// every event, broken or missing sound and music files, and hostile settings and high-score files.
#ifndef _WIN32
#include <grp.h>
#include <sys/wait.h>
#endif
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <random>

#include "common/Settings.h"
#include "game_fixture.h"
#include "giant_file.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kHighScore = "ハイスコア.txt";
const std::string kSettings = std::string(settings::kFileName).substr(1);
constexpr int32_t kStageFlies[6] = {0, 5, 20, 50, 100, 21};
constexpr int32_t kStageTicks[6] = {0, 30, 50, 80, 100, 120};

// Each kind's lives, edge, sheet position at set-up and points for the kill.
struct KindRule {
  int32_t kind, lives, size, sx, sy, points;
};
constexpr KindRule kKinds[] = {{1, 1, 10, 0, 80, 10},
                               {2, 1, 10, 20, 80, 10},
                               {3, 2, 10, 40, 80, 20},
                               {5, 2, 20, 80, 80, 20},
                               {10, 200, 80, 160, 0, 3000}};
const KindRule* RuleOf(int32_t kind) {
  for (const KindRule& k : kKinds)
    if (k.kind == kind) return &k;
  return nullptr;
}
// Whether the stage table (or the big fly's brood) can put that kind into that slot of a table
// of n slots; n tells the stage, since every stage has its own count.
bool KindFits(int32_t n, int32_t slot, int32_t kind) {
  const bool small = kind == 1 || kind == 2;
  if (n == 5) return kind == 1;
  if (n == 20) return small;
  if (n == 50 || n == 100) return slot < (n == 50 ? 30 : 50) ? small : kind == 5;
  if (n == 21 || n == 31) return slot == 0 ? kind == 10 : slot <= 20 ? kind == 5 : kind == 3;
  return false;
}
int32_t StageBonus(int32_t misses, int32_t clearTime) {
  if (misses >= 100) return 0;
  const int32_t rate = misses == 0 ? 100 : misses < 10 ? 50 : misses < 30 ? 10 : 5;
  return rate * clearTime / 10 * 10;
}

// What the player can tell about the game from outside the fly table.
struct Snap {
  int32_t state = 0, stage = 0, mode = 0, timeLeft = 0, score = 0, best = 0, clearTime = 0;
  int32_t misses = 0, bonus = 0, flyCount = 0, fliesLeft = 0;
  bool clockOn = false;
  int32_t clockMs = 0, pointer = 0;
  bool operator==(const Snap&) const = default;
};
Snap Take(const fMain& f) {
  Snap s;
  s.state = f.gameState, s.stage = f.stage, s.mode = f.gameMode, s.timeLeft = f.timeLeft;
  s.score = f.score, s.best = f.bestScore, s.clearTime = f.clearTime, s.misses = f.missCount;
  s.bonus = f.bonus, s.flyCount = f.flyCount, s.fliesLeft = f.fliesLeft;
  s.clockOn = f.timTimer.Enabled.get(), s.clockMs = f.timTimer.Interval.get();
  s.pointer = f.MousePointer.get();
  return s;
}
std::ostream& operator<<(std::ostream& o, const Snap& s) {
  return o << "{state " << s.state << " stage " << s.stage << " mode " << s.mode << " time "
           << s.timeLeft << " score " << s.score << " best " << s.best << " clear " << s.clearTime
           << " miss " << s.misses << " bonus " << s.bonus << " flies " << s.fliesLeft << "/"
           << s.flyCount << " clock " << s.clockOn << "@" << s.clockMs << " pointer " << s.pointer
           << "}";
}

enum class Ev { Frame, Click, Esc };

#define RULE(cond)                        \
  do {                                    \
    if (!(cond)) return "broken: " #cond; \
  } while (0)

// The rules of the state table and of its transitions, checked against the previous event.
class Rules {
 public:
  void Reset(const fMain& f) {
    prev_ = Take(f);
    lives_ = f.flyLife;
  }
  // slot: the fly a click was aimed at, or -1 for a click where no fly is.
  std::string After(const fMain& f, Ev ev, int slot = -1) {
    std::string why = Check(f, ev, slot);
    prev_ = Take(f);
    lives_ = f.flyLife;
    return why;
  }

 private:
  std::string Check(const fMain& f, Ev ev, int slot) {
    const Snap& p = prev_;
    if (ev == Ev::Esc && p.state == 0) {
      RULE(!f.Loaded());
      return "";
    }
    RULE(f.Loaded());
    const Snap s = Take(f);
    if (ev == Ev::Click && p.state == 0) base_ = s.score;  // a new stage begins
    RULE(s.state >= 0 && s.state <= 4);
    RULE(s.stage >= 1 && s.stage <= 5);
    RULE(s.mode >= 0 && s.mode <= 2);
    RULE(s.mode != 2 || ((s.state == 3 || s.state == 4) && s.stage == 1));
    RULE(s.score >= 0 && s.best >= 0 && s.clearTime >= 0 && s.misses >= 0 && s.bonus >= 0);
    RULE(s.best >= p.best);
    RULE(f.timGame.Enabled.get() && f.timGame.Interval.get() == 30);
    RULE(f.timRefresh.Enabled.get() && f.timRefresh.Interval.get() == 10);

    // The fly table.
    const int32_t n = s.flyCount;
    RULE(n == 0 || n == 5 || n == 20 || n == 50 || n == 100 || n == 21 || n == 31);
    RULE(s.fliesLeft >= 0 && s.fliesLeft <= n);
    int32_t living = 0, killed = 0;
    for (int32_t i = 0; i < n; ++i) {
      const auto k = RuleOf(f.flyKind[i]);
      RULE(k && KindFits(n, i, f.flyKind[i]));
      RULE(f.flySize[i] == k->size);
      RULE(f.flyLife[i] >= 0 && f.flyLife[i] <= k->lives);
      // Kinds with two lives show the wounded frame once hit, small single-life kinds never.
      const bool wounded = k->lives == 2 && f.flyLife[i] < 2;
      RULE(f.flySrc[i].x == k->sx + (wounded ? 2 * k->size : 0));
      RULE(f.flySrc[i].y == k->sy || f.flySrc[i].y == k->sy + k->size);
      RULE(f.flyPhase[i] >= 0 && f.flyPhase[i] <= 60);
      RULE(f.flyAnim[i] >= 0 && f.flyAnim[i] <= (f.flyKind[i] == 10 ? 5 : 1));
      living += f.flyLife[i] != 0;
      if (f.flyLife[i] == 0) killed += k->points;
    }
    RULE(living == s.fliesLeft);
    if (n == 21 || n == 31) RULE((n == 31) == (f.flyLife[0] <= 1));

    // What each state holds.
    switch (s.state) {
      case 0:
        RULE(!s.clockOn && s.timeLeft == 0 && s.best >= s.score && s.pointer != 99);
        break;
      case 1:
        RULE(s.clockOn && s.clockMs == (s.mode ? 500 : 800));
        RULE(s.timeLeft >= 0 && s.timeLeft <= kStageTicks[s.stage]);
        RULE(s.stage < 5 ? n == kStageFlies[s.stage] : (n == 21 || n == 31));
        RULE(s.fliesLeft > 0 && s.pointer == 99 && s.score == base_ + killed);
        break;
      case 2:
        RULE(!s.clockOn && s.timeLeft <= 0 && s.stage == 1 && s.score == 0 && s.pointer == 99);
        break;
      case 3:
        RULE(s.clockOn && s.clockMs == 1000 && s.timeLeft >= 0 && s.timeLeft <= 5);
        RULE(s.fliesLeft == 0 && s.pointer == 99 && s.score == base_ + killed);
        break;
      case 4:
        RULE(s.stage == 1 && s.mode != 0 && s.pointer == 99);
        RULE(s.mode == 1 ? s.clockOn && s.clockMs == 1000 && s.timeLeft >= 0 && s.timeLeft <= 10
                         : !s.clockOn);
        break;
    }
    if (s.state != 0) {
      RECT clip{};
      GetClipCursor(&clip);
      RULE(clip.right - clip.left == 640 && clip.bottom - clip.top == 480);
    }

    // What the event may have changed.
    if (ev == Ev::Esc) {
      RULE(s.state == 0 && s.score == 0 && s.mode == 0 && s.best == std::max(p.best, p.score));
      RULE(s.stage == (p.mode ? 1 : p.stage));
      if (p.mode) RULE(f.Caption.get() == "Zorbilo");
    } else if (ev == Ev::Click && p.state == 0) {
      RULE(s.state == 1 && s.stage == p.stage && s.mode == p.mode && s.score == p.score);
      RULE(s.misses == 0 && s.fliesLeft == n && s.timeLeft == kStageTicks[s.stage]);
      for (int32_t i = 0; i < n; ++i) RULE(f.flyLife[i] == RuleOf(f.flyKind[i])->lives);
    } else if (ev == Ev::Click && p.state == 1) {
      if (slot >= 0) {
        RULE(f.flyLife[slot] == lives_[slot] - 1 && s.misses == p.misses);
      } else {
        RULE(s.misses == p.misses + 1 && s.score == p.score && s.fliesLeft == p.fliesLeft);
      }
      if (s.state == 3) {
        const int32_t award = p.stage < 5 ? 0 : p.mode == 0 ? 5000 : 10000;
        RULE(s.clearTime == p.timeLeft && s.timeLeft == 5);
        RULE(s.bonus == StageBonus(s.misses, s.clearTime) + award);
        RULE(s.stage == (p.stage < 5 ? p.stage + 1 : 1));
        RULE(s.mode == (p.stage < 5 ? p.mode : p.mode + 1));
      } else {
        RULE(s.state == 1);
      }
    } else if (ev == Ev::Click) {
      RULE(s == p);  // time up, result and ending screens only play the miss sound
    } else if (p.state == 0 || p.state == 2 || (p.state == 4 && p.mode == 2)) {
      RULE(s == p);  // screens that only wait for the player
    } else if (p.state == 1) {
      RULE(s.state == 1 || s.state == 2);
      if (s.state == 2) RULE(p.timeLeft <= 1 && s.best == p.best && s.mode == p.mode);
      if (s.state == 1) RULE(s.timeLeft == p.timeLeft || s.timeLeft == p.timeLeft - 1);
    } else if (p.state == 3) {
      if (s.state == 0 || s.state == 4) {
        RULE(p.timeLeft <= 1 && s.score == p.score + p.bonus);
        RULE(s.state == (p.stage > 1 ? 0 : 4));
        if (s.state == 0) RULE(s.best == std::max(p.best, s.score));
        if (s.state == 4 && s.mode == 1) RULE(s.timeLeft == 10);
      } else {
        RULE(s.state == 3);
      }
    } else if (p.state == 4) {
      RULE(s.state == 4 || (s.state == 0 && p.timeLeft <= 1 && s.score == p.score &&
                            s.best == std::max(p.best, s.score) && s.mode == 1 &&
                            f.Caption.get() == "超・Zorbilo"));
    }
    return "";
  }

  Snap prev_{};
  std::array<int32_t, kFlySlots> lives_{};
  int32_t base_ = 0;  // score when the stage began
};

class Robust : public GameTest {
 protected:
  static LPARAM At(int x, int y) { return static_cast<LPARAM>((y << 16) | (x & 0xFFFF)); }
  void Click(int x, int y, int button = 1) {
    PostMessageA(form->hWnd, button == 2 ? WM_RBUTTONDOWN : WM_LBUTTONDOWN, 0, At(x, y));
    PostMessageA(form->hWnd, button == 2 ? WM_RBUTTONUP : WM_LBUTTONUP, 0, At(x, y));
    platform::AdvanceClock(0);
  }
  void Esc() {
    PostMessageA(form->hWnd, WM_KEYDOWN, 27, 0);
    platform::AdvanceClock(0);
  }
  void Frame() { platform::AdvanceClock(30); }

  // The centre of a living fly where it was last drawn, the pick-th one of those in sight.
  std::optional<std::pair<int, POINT>> Fly(unsigned pick = 0) {
    const fMain& f = *form;
    std::vector<std::pair<int, POINT>> seen;
    for (int i = 0; i < f.flyCount; ++i) {
      const POINT c{f.flyPos[i].x + f.flySize[i] / 2, f.flyPos[i].y + f.flySize[i] / 2};
      if (f.flyLife[i] != 0 && c.x >= 0 && c.x < 640 && c.y >= 0 && c.y < 480)
        seen.push_back({i, c});
    }
    if (seen.empty()) return std::nullopt;
    return seen[pick % seen.size()];
  }
  // A spot whose swat box touches no living fly, tried from the given start along a grid.
  std::optional<POINT> Empty(int start = 0) {
    const fMain& f = *form;
    for (int k = 0; k < 48 * 64; ++k) {
      const int cell = (start + k * 37) % (48 * 64);
      const int x = 5 + cell % 64 * 10, y = 5 + cell / 64 * 10;
      bool clear = true;
      for (int i = 0; i < f.flyCount && clear; ++i) {
        const int s = f.flySize[i];
        clear = f.flyLife[i] == 0 || !(x - 14 < f.flyPos[i].x + s && x + 14 > f.flyPos[i].x &&
                                       y + 10 > f.flyPos[i].y && y - 16 < f.flyPos[i].y + s);
      }
      if (clear) return POINT{x, y};
    }
    return std::nullopt;
  }
  // Starts the game, swats one fly of stage 1 with the given button, banks it with Esc and
  // closes the game from the title: start-up, play and shutdown, each file read and written once.
  void PlayAndQuit(int button) {
    Load();
    ASSERT_EQ(form->swatButton, button);
    Frame();
    Click(320, 255, button);
    ASSERT_EQ(form->gameState, 1);
    Frame();
    const auto fly = Fly();
    ASSERT_TRUE(fly);
    Click(fly->second.x, fly->second.y, button);
    EXPECT_EQ(form->score, 10);
    Esc();
    EXPECT_EQ(form->gameState, 0);
    EXPECT_EQ(form->bestScore, 10);
    Esc();
    EXPECT_FALSE(form->Loaded());
  }
  std::vector<std::string> Listing() {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(Utf8(e.path().filename()));
    std::sort(names.begin(), names.end());
    return names;
  }
  int StoredTotal() {
    return static_cast<int>(
        GetPrivateProfileIntA("Score", "Total", 0, Utf8(In(kHighScore)).c_str()));
  }
};

// ---- The soak ----------------------------------------------------------------------------------

TEST_F(Robust, TwoHundredRandomGamesKeepEveryRuleOfTheGameState) {
  mciSetLog(nullptr);  // a long run needs no record of its sounds
  std::mt19937 bot(20261208);
  auto chance = [&](double p) { return std::uniform_real_distribution<>(0, 1)(bot) < p; };
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<>(lo, hi)(bot); };
  Rules rules;
  int game = 0;
  long events = 0;
  int32_t record = 0;
  struct {
    int clear = 0, timeUp = 0, escPlay = 0, escResult = 0, escTimeUp = 0, escEnding = 0, master = 0,
        ending = 0, finale = 0, quit = 0;
  } seen;

  Load();
  rules.Reset(*form);
  auto ok = [&](Ev ev, int slot = -1) {
    ++events;
    const std::string why = rules.After(*form, ev, slot);
    if (!why.empty())
      ADD_FAILURE() << "game " << game << ", event " << events << ": " << why << "\n"
                    << Take(*form);
    return why.empty();
  };
  auto frame = [&] { return Frame(), ok(Ev::Frame); };
  auto esc = [&] { return Esc(), ok(Ev::Esc); };
  // Clicks or waits through the current stage; stops early to press Esc at frame escAt.
  auto play = [&](bool keepOne, double hitRate, int escAt) {
    for (int n = 0; form->gameState == 1; ++n) {
      if (n == escAt) return esc() && (++seen.escPlay, true);
      if (!frame()) return false;
      for (int c = pick(0, 3); c > 0 && form->gameState == 1; --c) {
        if (chance(hitRate) && !(keepOne && form->fliesLeft <= 2)) {
          if (auto fly = Fly(static_cast<unsigned>(pick(0, 99)))) {
            Click(fly->second.x, fly->second.y);
            if (!ok(Ev::Click, fly->first)) return false;
          }
        } else if (auto spot = Empty(pick(0, 3071))) {
          Click(spot->x, spot->y);
          if (!ok(Ev::Click)) return false;
        }
      }
    }
    return true;
  };
  // Lets a screen run, with the odd useless click, for up to the given frames or until it ends.
  auto wait = [&](int32_t state, int frames) {
    for (int n = 0; n < frames && form->gameState == state; ++n) {
      if (!frame()) return false;
      if (state != 0 && form->gameState == state && chance(0.03)) {
        Click(pick(0, 639), pick(0, 479));
        if (!ok(Ev::Click)) return false;
      }
    }
    return true;
  };

  for (game = 1; game <= 200; ++game) {
    ASSERT_TRUE(form->gameState == 0 && form->stage == 1) << "game " << game << Take(*form);
    // Few players clear the whole round; those who did are likelier to finish master's mode.
    const bool expert = chance(form->gameMode == 1 ? 0.7 : 0.03);
    bool over = false;
    while (!over) {
      if (!wait(0, pick(0, 2))) return;
      seen.master += form->gameMode == 1;
      Click(pick(0, 639), pick(0, 479));
      if (!ok(Ev::Click)) return;
      // Time ups are only played where the clock is short, to keep the run quick.
      const int32_t ms = kStageTicks[form->stage] * (form->gameMode ? 500 : 800);
      const double r = expert ? 0 : std::uniform_real_distribution<>(0, 1)(bot);
      const bool lose = r > 0.2 && r < 0.26 && ms <= 25'000, quit = r >= 0.26;
      if (!play(lose || quit, lose ? 0.2 : 0.85, quit ? pick(0, 60) : -1)) return;
      if (form->gameState == 0) {
        over = true;
      } else if (form->gameState == 2) {
        ++seen.timeUp;
        if (!wait(2, pick(0, 30)) || !esc()) return;
        ++seen.escTimeUp;
        over = true;
      } else if (++seen.clear, !expert && chance(0.3)) {
        if (!wait(3, pick(0, 150)) || !esc()) return;
        ++seen.escResult;
        over = true;
      } else {
        if (!wait(3, 1000)) return;
        if (form->gameState == 4) {
          ++(form->gameMode == 1 ? seen.ending : seen.finale);
          const bool leave = form->gameMode == 2 || chance(0.1);
          if (!wait(4, leave ? pick(0, 100) : 1000)) return;
          if (form->gameState == 4) {
            if (!esc()) return;
            ++seen.escEnding;
          }
          over = true;
        }
      }
    }
    // A player who gives up on a later stage closes the game and starts it again.
    if (form->stage != 1 || chance(0.03)) {
      const int32_t best = form->bestScore;
      if (!esc()) return;
      ++seen.quit;
      record = std::max(record, best);
      ASSERT_EQ(StoredTotal(), record) << "game " << game;
      ASSERT_EQ(ReadFile(kHighScore).find("Password=kR4pW81ZmtXe") != std::string::npos,
                record > 30000);
      Load();
      rules.Reset(*form);
    }
  }
  EXPECT_GE(seen.clear, 1);
  EXPECT_GE(seen.timeUp, 1);
  EXPECT_GE(seen.escPlay, 1);
  EXPECT_GE(seen.escResult, 1);
  EXPECT_GE(seen.escTimeUp, 1);
  EXPECT_GE(seen.master, 1);
  EXPECT_GE(seen.ending, 1);
  EXPECT_GE(seen.finale, 1);
  EXPECT_GE(seen.escEnding, 1);
  EXPECT_GE(seen.quit, 1);
  std::printf(
      "%ld events: %d clears, %d time ups, Esc %d/%d/%d/%d, %d master's starts, %d endings,"
      " %d closing texts, %d quits\n",
      events, seen.clear, seen.timeUp, seen.escPlay, seen.escResult, seen.escTimeUp, seen.escEnding,
      seen.master, seen.ending, seen.finale, seen.quit);
}

// ---- Hostile settings and high-score files ---------------------------------------------------

// A profile file holds at most 1 MiB: over that it reads as absent and is never rewritten.
constexpr size_t kBig = 900u << 10;
constexpr size_t kHuge = 10u << 20;
constexpr uintmax_t kGiant = giant_file::kSize;  // sparse: no disk, but no memory holds it

// Printable junk with no brackets, equals signs or line breaks: one endless line of nonsense.
std::string Junk(size_t size, uint32_t seed) {
  std::mt19937 g(seed);
  std::string s(size, ' ');
  for (char& c : s) c = static_cast<char>('a' + g() % 27);  // letters and '{'
  return s;
}
// Junk broken into lines, with the given text near the end.
std::string JunkAround(const std::string& real, uint32_t seed, size_t size = kHuge) {
  std::string s = Junk(size, seed);
  for (size_t i = 80; i < s.size(); i += 81) s[i] = '\n';
  s.insert(s.size() - 1000, "\n" + real);
  return s + "\n";
}
// Random bytes, every eighth a NUL.
std::string Binary(uint32_t seed) {
  std::mt19937 g(seed);
  std::string s(1 << 16, '\0');
  for (size_t i = 0; i < s.size(); ++i) s[i] = i % 8 ? static_cast<char>(g()) : '\0';
  return s;
}

TEST_F(Robust, SettingsFileThatIsHugeOrBinaryIsReadAndNeverWritten) {
  const struct {
    const char* what;
    std::string bytes;
    int button;  // what the file says about the swat button
  } cases[] = {
      {"10 MB in one line", Junk(kHuge, 1), 1},
      {"900 KB with the real key near the end", JunkAround("[Setting]\nRClick=1\n", 2, kBig), 2},
      {"10 MB with the real key near the end: too big to be one",
       JunkAround("[Setting]\nRClick=1\n", 2), 1},
      {"random bytes and NULs", Binary(3), 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove(In(kHighScore));
    WriteFile(kSettings, c.bytes);
    PlayAndQuit(c.button);
    EXPECT_TRUE(ReadFile(kSettings) == c.bytes) << "the game changed its settings file";
    EXPECT_EQ(StoredTotal(), 10);
  }
}

TEST_F(Robust, HighScoreFileThatIsHugeOrBinaryGetsTheRecordOnlyWhenItIsOne) {
  // Nothing readable in it: the record is written, and the junk beside it stays as it was.
  const std::string junk = Junk(kBig, 4);
  WriteFile(kHighScore, junk);
  PlayAndQuit(1);
  std::string after = ReadFile(kHighScore);
  EXPECT_EQ(StoredTotal(), 10);
  EXPECT_TRUE(after.size() > junk.size() && after.compare(0, junk.size(), junk) == 0);

  // A higher record near the end of it is found, so nothing is written.
  const std::string high = JunkAround("[Score]\nTotal=999999\n", 5, kBig);
  WriteFile(kHighScore, high);
  PlayAndQuit(1);
  EXPECT_TRUE(ReadFile(kHighScore) == high) << "a lower score overwrote the record";

  // Too big to be a high-score file: whatever it is, it is left as it is.
  const std::string huge = Junk(kHuge, 4);
  WriteFile(kHighScore, huge);
  PlayAndQuit(1);
  EXPECT_TRUE(ReadFile(kHighScore) == huge) << "a 10 MB file was rewritten";

  WriteFile(kHighScore, Binary(6));
  PlayAndQuit(1);
  EXPECT_EQ(StoredTotal(), 10);
}

// A giant file (sparse, 64 GiB) in place of either file: start-up and shutdown take no longer
// than usual, the file keeps its size, and nothing runs out of memory.
TEST_F(Robust, GiantSparseFilesCostNothingAndStayAsTheyAre) {
  for (const std::string& name : {kSettings, std::string(kHighScore)}) {
    SCOPED_TRACE(name);
    for (const auto& e : fs::directory_iterator(dir)) fs::remove(e.path());
    WriteFile(name, name == kSettings ? "[Setting]\nRClick=1\n" : "[Score]\nTotal=5\n");
    if (std::string why; !giant_file::Grow(In(name), why)) GTEST_SKIP() << why;
    const auto before = Listing();
    const auto start = std::chrono::steady_clock::now();
    PlayAndQuit(1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ(fs::file_size(In(name)), kGiant);
    if (name == kSettings) {
      EXPECT_EQ(StoredTotal(), 10);  // the record goes beside it all the same
    } else {
      EXPECT_EQ(Listing(), before);  // no record, and no temporary file left
    }
  }
}

#ifndef _WIN32  // the copies are made with fork
// Two copies of the game closing at the same moment in one folder, the first with the lower
// score: without an exclusive update the lower one wins about one race in three.
TEST_F(Robust, TwoCopiesClosingTogetherKeepTheHigherRecord) {
  constexpr int kRaces = 60;
  int lost = 0;
  for (int race = 0; race < kRaces; ++race) {
    fs::remove(dir / kHighScore);
    fflush(nullptr);
    pid_t copies[2];
    for (int i = 0; i < 2; ++i) {
      if ((copies[i] = fork()) == 0) {
        fMain copy;
        copy.bestScore = i == 0 ? 1000 : 2000;
        copy.UpdateHighScore();
        _exit(0);
      }
    }
    for (pid_t p : copies) waitpid(p, nullptr, 0);
    lost += StoredTotal() != 2000;
  }
  EXPECT_EQ(lost, 0) << "of " << kRaces << " races";
}
#endif

TEST_F(Robust, DirectoriesWhereTheFilesShouldBeStayDirectories) {
  fs::create_directory(In(kSettings));
  fs::create_directory(In(kHighScore));
  const auto before = Listing();
  PlayAndQuit(1);
  EXPECT_TRUE(fs::is_directory(In(kSettings)));
  EXPECT_TRUE(fs::is_directory(In(kHighScore)));
  EXPECT_TRUE(fs::is_empty(In(kHighScore)));
  EXPECT_EQ(Listing(), before);  // no temporary file left behind
}

// Runs PlayAndQuit in a fresh process that cannot write the program folder: as root, one that
// has given up root for nobody (root ignores permission bits); otherwise the same user. The
// parent then looks at what is left.
class ReadOnly : public Robust {
 protected:
  // 0: the child played and quit as expected; otherwise why not.
  std::string RunChild(int button) {
#ifdef _WIN32
    (void)button;
    // A folder's read-only attribute does not stop files being made in it on Windows (that
    // takes an access-control list), and there is no fork: not a case this build can make.
    return "skip: Windows has no read-only folders of this kind";
#else
    const bool root = geteuid() == 0;
    fs::permissions(dir, root ? fs::perms(0755) : fs::perms(0555));
    const std::string exe = fs::read_symlink("/proc/self/exe");
    fflush(nullptr);
    const pid_t pid = fork();
    if (pid < 0) return "skip: fork failed";
    if (pid == 0) {
      if (root && (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0))
        _exit(77);
      setenv("ZORBILO_CHILD_DIR", dir.c_str(), 1);
      setenv("ZORBILO_CHILD_BUTTON", std::to_string(button).c_str(), 1);
      execl(exe.c_str(), exe.c_str(), "--gtest_filter=ReadOnly.DISABLED_Child",
            "--gtest_also_run_disabled_tests", "--gtest_brief=1", static_cast<char*>(nullptr));
      _exit(78);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    fs::permissions(dir, fs::perms(0700));
    if (WIFEXITED(status) && WEXITSTATUS(status) == 77) return "skip: cannot become nobody";
    if (WIFEXITED(status) && WEXITSTATUS(status) == 78) return "skip: cannot start the child";
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
      return "child failed, status " + std::to_string(status);
    return "";
#endif
  }
  void ReadOnlyFile(const std::string& name, const std::string& bytes) {
    WriteFile(name, bytes);
    fs::permissions(In(name), fs::perms(0444));
  }
};

TEST_F(ReadOnly, DISABLED_Child) {
  const char* folder = getenv("ZORBILO_CHILD_DIR");
  if (!folder) GTEST_SKIP() << "runs only as the child of the read-only tests";
  App.Path = folder;
  PlayAndQuit(atoi(getenv("ZORBILO_CHILD_BUTTON")));
}

#define RUN_CHILD(button)                                 \
  do {                                                    \
    const std::string why = RunChild(button);             \
    if (why.rfind("skip: ", 0) == 0) GTEST_SKIP() << why; \
    ASSERT_EQ(why, "");                                   \
  } while (0)

TEST_F(ReadOnly, SettingsFileIsStillRead) {
  const std::string ini = "[Setting]\r\nRClick=1\r\n";
  ReadOnlyFile(kSettings, ini);
  const auto before = Listing();
  RUN_CHILD(2);
  EXPECT_EQ(ReadFile(kSettings), ini);
  EXPECT_EQ(Listing(), before);  // nor could the record be written beside it
}

TEST_F(ReadOnly, HighScoreFileKeepsItsOldRecordWhenItCannotBeWritten) {
  const std::string old = "[Score]\r\nTotal=5\r\n";
  ReadOnlyFile(kHighScore, old);
  const auto before = Listing();
  RUN_CHILD(1);
  EXPECT_EQ(ReadFile(kHighScore), old);
  EXPECT_EQ(Listing(), before);
}

TEST_F(ReadOnly, FolderGetsNoFile) {
  const auto before = Listing();
  RUN_CHILD(1);
  EXPECT_EQ(Listing(), before);
  EXPECT_FALSE(Exists(kHighScore));
}

// ---- Missing and broken media -------------------------------------------------------------------

const char* const kMedia[] = {"START.wav",  "SWAT.wav", "MISS.wav", "CLEAR.wav",
                              "TIMEUP.wav", "BGM.mid",  "FINAL.mid"};
enum class Bad { Missing, Empty, Truncated, Noise };
struct MediaCase {
  int file;  // index into kMedia; 7 spoils all seven
  Bad bad;
};

// What one pass through a stage left behind: the state after every event, the channel ids and
// every command sent, with the program folder taken out of the file names.
struct MediaRun {
  std::vector<Snap> trace;
  std::array<int32_t, 5> channels{};
  std::vector<std::string> commands;
  bool loadedAtEnd = true;
};

class BadMedia : public Robust, public testing::WithParamInterface<MediaCase> {
 protected:
  void CopyMedia() {
    // Removed first: mingw's copy_file (GCC 12) can refuse to overwrite whatever the options say.
    for (const char* m : kMedia) {
      fs::remove(dir / m);
      fs::copy_file(fs::path(ZORBILO_BIN_DIR) / m, dir / m);
    }
  }
  void Spoil(const std::string& name, Bad bad) {
    const std::string good = ReadFile(name);
    std::mt19937 noise(static_cast<uint32_t>(good.size()));
    std::string junk(4096, '\0');
    switch (bad) {
      case Bad::Missing:
        fs::remove(In(name));
        break;
      case Bad::Empty:
        WriteFile(name, "");
        break;
      case Bad::Truncated:
        WriteFile(name, good.substr(0, good.size() / 2));
        break;
      case Bad::Noise:
        for (char& c : junk) c = static_cast<char>(noise());
        WriteFile(name, junk);
        break;
    }
  }
  // Stage 1 with a miss, swats and its clear, a look at the result screen, then the final
  // stage for its own music, lost on a shortened clock, and the game closed.
  MediaRun Play() {
    platform::UseManualClock(1'000'000);  // the same clock, so the same flies, in every run
    log.clear();
    MediaRun r;
    auto note = [&] { r.trace.push_back(Take(*form)); };
    Load();
    note();
    r.channels = {form->sndStart, form->sndSwat, form->sndMiss, form->sndClear, form->sndTimeUp};
    Frame();
    Click(320, 255);
    note();
    Frame();
    if (const auto spot = Empty()) Click(spot->x, spot->y);
    note();
    for (int n = 0; form->gameState == 1 && n < 100; ++n) {
      Frame();
      if (const auto fly = Fly()) Click(fly->second.x, fly->second.y);
      note();
    }
    for (int n = 0; n < 10; ++n) Frame(), note();
    Esc();
    note();
    form->stage = 5;  // the title of the final stage, without playing the three between
    Frame();
    Click(320, 255);
    note();
    for (int n = 0; n < 5; ++n) {
      Frame();
      if (const auto fly = Fly()) Click(fly->second.x, fly->second.y);
      note();
    }
    form->timeLeft = 2;  // two ticks left on the clock rather than a hundred
    for (int n = 0; form->gameState == 1 && n < 200; ++n) Frame(), note();
    Click(320, 240);
    note();
    Esc();
    note();
    Esc();
    note();
    r.loadedAtEnd = form->Loaded();
    for (std::string c : TakeCommands()) {
      for (size_t at; (at = c.find(dir.string())) != std::string::npos;)
        c.replace(at, dir.string().size(), "<dir>");
      r.commands.push_back(c);
    }
    form.reset();
    return r;
  }
};

TEST_P(BadMedia, GameRunsAsWithGoodMedia) {
  static std::optional<MediaRun> good;
  if (!good) {
    CopyMedia();
    good = Play();
    ASSERT_FALSE(good->loadedAtEnd);
    const auto reached = [&](int32_t st) {
      return std::any_of(good->trace.begin(), good->trace.end(),
                         [&](const Snap& s) { return s.state == st; });
    };
    ASSERT_TRUE(reached(3) && reached(2)) << "the pass must clear a stage and lose one";
    ASSERT_NE(std::find(good->commands.begin(), good->commands.end(),
                        "open \"<dir>/FINAL.mid\" alias sound_bgm"),
              good->commands.end());
  }
  const MediaCase c = GetParam();
  CopyMedia();
  for (int i = 0; i < 7; ++i)
    if (c.file == i || c.file == 7) Spoil(kMedia[i], c.bad);
  const MediaRun bad = Play();

  EXPECT_FALSE(bad.loadedAtEnd);
  EXPECT_EQ(bad.channels, good->channels);  // a channel is kept even when its file is no good
  ASSERT_EQ(bad.trace.size(), good->trace.size());
  for (size_t i = 0; i < bad.trace.size(); ++i)
    ASSERT_EQ(bad.trace[i], good->trace[i]) << "after event " << i;
  // The game never looks at a command's result, so it sends the very same ones.
  EXPECT_EQ(bad.commands, good->commands);
}

std::vector<MediaCase> AllMediaCases() {
  std::vector<MediaCase> cases;
  for (int file = 0; file <= 7; ++file)
    for (Bad bad : {Bad::Missing, Bad::Empty, Bad::Truncated, Bad::Noise})
      cases.push_back({file, bad});
  return cases;
}

std::string MediaCaseName(const testing::TestParamInfo<MediaCase>& info) {
  static const char* const kBad[] = {"Missing", "Empty", "Truncated", "Noise"};
  std::string file = info.param.file == 7 ? "All" : kMedia[info.param.file];
  file.erase(std::remove(file.begin(), file.end(), '.'), file.end());
  return file + "_" + kBad[static_cast<int>(info.param.bad)];
}

INSTANTIATE_TEST_SUITE_P(EachFileAndAll, BadMedia, testing::ValuesIn(AllMediaCases()),
                         MediaCaseName);

}  // namespace
