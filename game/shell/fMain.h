// The game form: the one window of Zorbilo with all game state, its timers and picture controls,
// and every handler and routine of the game. The member functions are defined in the folder of
// their subsystem: start-up, shutdown and the high score in shell/; stages, motion and swatting
// in play/; drawing, the frame loop, refresh and keyboard in presentation/.
//
// Everything is public: tests drive the form exactly as the runtime does.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <random>
#include <string>

#include "platform/mMain.h"

// A pixel position: fly table columns and the digit table.
struct IntPoint {
  int32_t x = 0;
  int32_t y = 0;
};

// Slots of the fly table: stage 4 uses 100, and index 100 is the last one.
constexpr int32_t kFlySlots = 101;

class fMain : public platform::Form {
 public:
  fMain();
  ~fMain();
  fMain(const fMain&) = delete;
  fMain& operator=(const fMain&) = delete;

  // ---- Play variables ------------------------------------------------------------------------
  int32_t gameState = 0;  // 0 title, 1 playing, 2 time up, 3 stage result, 4 all stages cleared
  int32_t stage = 0;      // 1..5, set to 1 by Form_Load
  int32_t gameMode = 0;   // 0 beginner's, 1 master's, 2 master's cleared
  int32_t timeLeft = 0;   // stage clock ticks in state 1; one-second ticks in states 3 and 4
  int32_t score = 0;
  int32_t bestScore = 0;
  int32_t clearTime = 0;
  int32_t missCount = 0;
  int32_t bonus = 0;
  int32_t flyCount = 0;
  int32_t fliesLeft = 0;

  // ---- Fly table: nine parallel columns, one fly per index ------------------------------------
  std::array<int32_t, kFlySlots> flyPhase{};
  std::array<int32_t, kFlySlots> flyKind{};
  std::array<int32_t, kFlySlots> flyLife{};
  std::array<IntPoint, kFlySlots> flySrc{};
  std::array<int32_t, kFlySlots> flySize{};
  std::array<int32_t, kFlySlots> flyAnim{};
  std::array<IntPoint, kFlySlots> flyPos{};
  std::array<IntPoint, kFlySlots> flyStart{};
  std::array<IntPoint, kFlySlots> flyDelta{};

  // ---- Start-up variables --------------------------------------------------------------------
  int16_t fullScreen = 0;  // true = -1
  int16_t showFps = 0;     // true = -1
  int32_t swatButton = 0;  // 1 left, 2 right
  std::unique_ptr<platform::DirectX7> dx;
  std::shared_ptr<platform::DirectDraw7> ddraw;
  HDC backDC = nullptr;
  HBITMAP backBitmap = nullptr;
  HFONT hudFont = nullptr;
  std::array<IntPoint, 11> digitSrc{};  // 0..9 the glyphs; 10 stays (0, 0)
  int32_t sndStart = 0;
  int32_t sndSwat = 0;
  int32_t sndMiss = 0;
  int32_t sndClear = 0;
  int32_t sndTimeUp = 0;

  // ---- Frame-rate counters -------------------------------------------------------------------
  int32_t fpsValue = 0;
  int32_t fpsTick = 0;
  int32_t fpsFrames = 0;

  // ---- Controls ------------------------------------------------------------------------------
  platform::Timer timTimer{800, false};   // stage clock
  platform::Timer timGame{30, false};     // frame loop
  platform::Timer timRefresh{10, false};  // back buffer to window
  platform::PictureBox picImage;          // the sprite sheet
  platform::Image icoSwat1;               // raised swatter
  platform::Image icoSwat2;               // striking swatter

  // The one generator of play, reseeded from the tick count at every stage start.
  std::mt19937 rng;
  // A uniform draw in [0, 1).
  double Random();

  // Called after each numbered step of Form_Load with the step's number, when set. Lets a test
  // look at the form between the steps of start-up.
  std::function<void(int step)> OnLoadStep;

  // ---- Shell ---------------------------------------------------------------------------------
  void Form_Load();
  void Form_Unload(int16_t& Cancel);
  // Compares bestScore with the stored record and writes the new one (and the reward code).
  void UpdateHighScore();
  // The record hudFont is made from.
  static LOGFONTA HudFontRecord();

  // ---- Play ----------------------------------------------------------------------------------
  void StartStage();
  void timTimer_Timer();
  void StageClear();
  void TimeUp();
  void ReturnToTitle();
  void MoveFlies();
  void Form_MouseDown(int16_t Button, int16_t Shift, float X, float Y);
  void Form_MouseUp(int16_t Button, int16_t Shift, float X, float Y);

  // ---- Presentation --------------------------------------------------------------------------
  void DrawBackground();
  void DrawSprite(int32_t dx, int32_t dy, int32_t sx, int32_t sy, int32_t w, int32_t h);
  void DrawNumber(int32_t x, int32_t y, int32_t value, int32_t digits);
  void DrawTextLine(int32_t y, const std::string& text);
  void timGame_Timer();
  void timRefresh_Timer();
  void Form_KeyDown(int16_t KeyCode, int16_t Shift);

  // Number of fly-table slots the loops may visit: flyCount, kept inside the table.
  int32_t SlotsInUse() const;
};
