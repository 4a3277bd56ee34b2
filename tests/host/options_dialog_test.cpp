// The options dialog as a user meets it: what it shows, what clicking and typing do, what OK,
// Cancel and closing return and store; and the dialog template it is built from.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "host/host_test_support.h"
#include "host/mpeginput.h"
#include "host/options_dialog.h"
#include "platform/platform.h"
#include "platform/posix/dialog_manager.h"
#include "platform/posix/private_profile.h"

namespace mpegin {
namespace {

using platform::posix::DialogSession;
using platform::posix::DialogUser;

// A user whose turns are written by the test; after the last turn the window is closed.
class TestUser : public DialogUser {
 public:
  using Turn = std::function<void(DialogSession&)>;
  explicit TestUser(std::vector<Turn> turns) : turns_(std::move(turns)) {}
  bool act(DialogSession& session) override {
    if (next_ >= turns_.size()) return false;
    turns_[next_++](session);
    return true;
  }
  std::size_t turns_taken() const { return next_; }

 private:
  std::vector<Turn> turns_;
  std::size_t next_ = 0;
};

struct Shown {
  bool sixteen, thirty_two, dither, dither_enabled;
  std::string gain;
};

Shown shown(const DialogSession& s) {
  return {s.checked(kControl16Bit), s.checked(kControl32Bit), s.checked(kControlDither), s.enabled(kControlDither),
          s.text(kControlGain)};
}

class OptionsDialog : public ::testing::Test {
 protected:
  void TearDown() override { platform::posix::set_dialog_user(nullptr); }

  // Runs FilterGetOptions with the given turns; `seen` receives the state at the first turn.
  uint32_t run(uint32_t current_word, std::vector<TestUser::Turn> turns, Shown* seen = nullptr) {
    if (seen != nullptr) {
      turns.insert(turns.begin(), [seen](DialogSession& s) { *seen = shown(s); });
    }
    TestUser user(std::move(turns));
    platform::posix::set_dialog_user(&user);
    return FilterGetOptions(nullptr, nullptr, 0, 0, 0, current_word);
  }

  std::string stored() const { return host_test::read_file(config_.file("zazave.ini")); }

  host_test::TempDir config_;
  host_test::ScopedEnv config_home_{"XDG_CONFIG_HOME", config_.path().c_str()};
  host_test::ScopedEnv dialog_choice_{"MPEGIN_DIALOG", "none"};
};

TEST_F(OptionsDialog, OpensWithDefaultsAndOkStoresTheWord) {
  Shown seen{};
  const uint32_t word = run(0, {[](DialogSession& s) { s.click(platform::kIdOk); }}, &seen);
  EXPECT_TRUE(seen.sixteen);
  EXPECT_FALSE(seen.thirty_two);
  EXPECT_FALSE(seen.dither);
  EXPECT_TRUE(seen.dither_enabled);
  EXPECT_EQ(seen.gain, "0");
  EXPECT_EQ(word, 1068576u);
  EXPECT_EQ(stored(), "[MPEG Filter]\nInputFormat=1068576\n");
}

TEST_F(OptionsDialog, StartsFromTheStoredWordWhenGivenNone) {
  const uint32_t stored_word = 0x1000000 | 0x200000 | 20600;  // +6 dB, 32-bit, dither
  host_test::write_file(config_.file("zazave.ini"), "[MPEG Filter]\nInputFormat=" + std::to_string(stored_word) + "\n");
  Shown seen{};
  EXPECT_EQ(run(0, {[](DialogSession& s) { s.click(platform::kIdOk); }}, &seen), stored_word);
  EXPECT_FALSE(seen.sixteen);
  EXPECT_TRUE(seen.thirty_two);
  EXPECT_TRUE(seen.dither);
  EXPECT_FALSE(seen.dither_enabled);
  EXPECT_EQ(seen.gain, "6");
}

TEST_F(OptionsDialog, ShowsTheGivenWord) {
  struct Case {
    uint32_t word;
    const char* gain;
    bool sixteen;
  };
  for (const Case& c : {Case{0x100000, "-200", true}, Case{19350, "-6.5", true}, Case{50000, "0", true},
                        Case{0x180000 | 20000, "0", true}, Case{0x204E20, "0", false}}) {
    SCOPED_TRACE(c.word);
    Shown seen{};
    run(c.word, {}, &seen);
    EXPECT_EQ(seen.gain, c.gain);
    EXPECT_EQ(seen.sixteen, c.sixteen);
    EXPECT_EQ(seen.thirty_two, !c.sixteen);
    EXPECT_EQ(seen.dither_enabled, c.sixteen);
  }
}

// Every scale the word can hold: the field shows its hundredths of a decibel as the shortest
// decimal (no digit before the point below 1 dB), and OK at once gives the same word back.
TEST_F(OptionsDialog, EveryStoredGainIsShownAndKeptByOk) {
  for (uint32_t scale = 0; scale <= 40000; ++scale) {
    const uint32_t hundredths = scale < 20000 ? 20000 - scale : scale - 20000;
    std::string text = scale < 20000 ? "-" : "";
    if (hundredths >= 100 || hundredths == 0) text += std::to_string(hundredths / 100);
    if (hundredths % 100 != 0) text += "." + std::to_string(hundredths % 100 / 10);
    if (hundredths % 10 != 0) text += std::to_string(hundredths % 10);
    const uint32_t word = (scale % 2 != 0 ? 0x200000u : 0x100000u) | (scale % 3 == 0 ? 0x1000000u : 0u) | scale;
    Shown seen{};
    TestUser user({[&seen](DialogSession& s) { seen = shown(s); }, [](DialogSession& s) { s.click(platform::kIdOk); }});
    platform::posix::set_dialog_user(&user);
    ASSERT_EQ(platform::dialog_box_param(nullptr, kOptionsDialogTemplate, nullptr, DIALOGMsgProc,
                                         static_cast<intptr_t>(word)),
              static_cast<intptr_t>(word))
        << text;
    ASSERT_EQ(seen.gain, text) << scale;
  }
}

TEST_F(OptionsDialog, WidthButtonsSwitchDitherOnAndOff) {
  std::vector<Shown> states;
  auto record = [&states](DialogSession& s) { states.push_back(shown(s)); };
  const uint32_t word = run(0, {[](DialogSession& s) { s.click(kControlDither); }, record,
                                [](DialogSession& s) { s.click(kControl32Bit); }, record,
                                [](DialogSession& s) { EXPECT_FALSE(s.click(kControlDither)); },  // disabled
                                [](DialogSession& s) { s.click(kControl16Bit); }, record,
                                [](DialogSession& s) { s.click(kControl32Bit); },
                                [](DialogSession& s) { s.click(platform::kIdOk); }});
  ASSERT_EQ(states.size(), 3u);
  EXPECT_TRUE(states[0].dither && states[0].dither_enabled && states[0].sixteen);
  EXPECT_TRUE(states[1].thirty_two && !states[1].sixteen && !states[1].dither_enabled && states[1].dither);
  EXPECT_TRUE(states[2].sixteen && !states[2].thirty_two && states[2].dither_enabled);
  // A checked but disabled Dither still sets bit 24.
  EXPECT_EQ(word, 0x200000u | 20000u | 0x1000000u);
}

// OK takes a decimal number from -199 to 200; anything else is refused, the field then shows
// the range and the dialog stays open (here the user then leaves: nothing is chosen).
TEST_F(OptionsDialog, TypedGainIsReadOnOkOrRefusedWithTheRange) {
  struct Case {
    const char* text;
    uint32_t word;   // 0: refused
  };
  for (const Case& c : {Case{"6", 0x100000u | 20600u}, Case{" -6.5 ", 0x100000u | 19350u}, Case{"+200", 0x100000u | 40000u},
                        Case{"-199", 0x100000u | 100u}, Case{".5", 0x100000u | 20050u}, Case{"-300", 0},
                        Case{"-199.01", 0}, Case{"200.01", 0}, Case{"999", 0}, Case{"abc", 0}, Case{"", 0},
                        Case{"6dB", 0}, Case{"0x10", 0}, Case{"1e1", 0}, Case{"-", 0}, Case{"1.2.3", 0}}) {
    SCOPED_TRACE(c.text);
    const std::string text = c.text;
    std::string after_ok;
    EXPECT_EQ(run(0, {[text](DialogSession& s) { EXPECT_TRUE(s.type_text(kControlGain, text)); },
                      [](DialogSession& s) { s.click(platform::kIdOk); },
                      [&after_ok](DialogSession& s) { after_ok = s.text(kControlGain); }}),
              c.word);
    if (c.word == 0) {
      EXPECT_EQ(after_ok, "-199 to 200");
    }
  }
  // A stored gain below -199 dB shown and left as it is stays.
  EXPECT_EQ(run(0x100000 | 50, {[](DialogSession& s) { s.click(platform::kIdOk); }}), 0x100000u | 50u);
}

TEST_F(OptionsDialog, CancelAndCloseStoreNothing) {
  EXPECT_EQ(run(0x204E20, {[](DialogSession& s) { s.click(kControl16Bit); },
                           [](DialogSession& s) { s.click(platform::kIdCancel); }}),
            0u);
  EXPECT_EQ(run(0x204E20, {[](DialogSession& s) { s.close(); }}), 0u);
  EXPECT_EQ(run(0x204E20, {}), 0u);  // a user who leaves closes the window
  EXPECT_FALSE(host_test::file_exists(config_.file("zazave.ini")));
}

TEST_F(OptionsDialog, DialogThatCannotBeShownReturnsZeroAndStoresNothing) {
  platform::posix::set_dialog_user(nullptr);
  EXPECT_EQ(platform::dialog_box_param(nullptr, kOptionsDialogTemplate, nullptr, DIALOGMsgProc, 0),
            platform::kDialogFailed);
  EXPECT_EQ(FilterGetOptions(nullptr, nullptr, 0, 0, 0, 0x204E20), 0u);
  EXPECT_FALSE(host_test::file_exists(config_.file("zazave.ini")));
}

TEST_F(OptionsDialog, ProcedureAnswersOnlyItsMessages) {
  EXPECT_EQ(DIALOGMsgProc(nullptr, 0x0001 /* WM_CREATE */, 0, 0), 0);
  EXPECT_EQ(DIALOGMsgProc(nullptr, 0x000F /* WM_PAINT */, 0, 0), 0);
  EXPECT_EQ(DIALOGMsgProc(nullptr, platform::kWmCommand, 4242, 0), 1);
}

TEST_F(OptionsDialog, ScriptFromTheEnvironment) {
  platform::posix::set_dialog_user(nullptr);
  {
    host_test::ScopedEnv script("MPEGIN_DIALOG", "script:32-bit; =-6 ;ok");
    EXPECT_EQ(FilterGetOptions(nullptr, nullptr, 0, 0, 0, 0), 0x200000u | 19400u);
  }
  {
    host_test::ScopedEnv script("MPEGIN_DIALOG", "script:#1008;#1");
    EXPECT_EQ(FilterGetOptions(nullptr, nullptr, 0, 0, 0, 0x100000 | 20000), 0x1100000u | 20000u);
  }
  {
    // A step that names nothing stops the script and closes the window.
    host_test::ScopedEnv script("MPEGIN_DIALOG", "script:#4711;ok");
    EXPECT_EQ(FilterGetOptions(nullptr, nullptr, 0, 0, 0, 0), 0u);
  }
  EXPECT_NE(stored().find("InputFormat=17845792"), std::string::npos) << stored();
}

TEST_F(OptionsDialog, TextFormOnATerminal) {
  const std::string typed = "32\n=-6.5\nbogus\n\n";
  std::FILE* in = fmemopen(const_cast<char*>(typed.data()), typed.size(), "r");
  std::FILE* out = std::tmpfile();
  ASSERT_TRUE(in != nullptr && out != nullptr);
  platform::posix::TerminalDialogUser user(in, out);
  platform::posix::set_dialog_user(&user);
  EXPECT_EQ(FilterGetOptions(nullptr, nullptr, 0, 0, 0, 0x1104E20), 0x1200000u | 19350u);
  std::rewind(out);
  std::string form;
  char line[512];
  while (std::fgets(line, sizeof line, out) != nullptr) form += line;
  std::fclose(in);
  std::fclose(out);
  EXPECT_NE(form.find("== MPEG Input Options =="), std::string::npos) << form;
  EXPECT_NE(form.find("Read MPEG As"), std::string::npos);
  EXPECT_NE(form.find("(*) 16-bit"), std::string::npos);
  EXPECT_NE(form.find("(*) 32-bit"), std::string::npos);
  EXPECT_NE(form.find("[x] Dither (disabled)"), std::string::npos);
  EXPECT_NE(form.find("[-6.5"), std::string::npos);
  EXPECT_NE(form.find("Not a choice here: bogus"), std::string::npos);
}

TEST(OptionsDialogTemplate, MatchesTheDialogLayout) {
  const platform::posix::DialogTemplate* dialog = platform::posix::find_dialog_template(kOptionsDialogTemplate);
  ASSERT_NE(dialog, nullptr);
  EXPECT_STREQ(dialog->caption, "MPEG Input Options");
  EXPECT_EQ(dialog->width, 160);
  EXPECT_EQ(dialog->height, 86);
  EXPECT_EQ(dialog->font_size, 8);
  EXPECT_STREQ(dialog->font_name, "MS Sans Serif");
  // DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU, and DS_SETFONT for the font.
  EXPECT_EQ(dialog->style, 0x80C800C0u);

  struct Expected {
    int id;
    const char* class_name;
    const char* text;
    int x, y, width, height;
    uint32_t style;  // besides WS_CHILD | WS_VISIBLE
  };
  const Expected controls[] = {
      {-1, "Static", "", 4, 8, 152, 1, 0x1008},                      // grey frame, sunken
      {-1, "Static", "", 4, 46, 152, 1, 0x1008},
      {1000, "Button", "16-bit", 10, 26, 35, 10, 0x20009},           // auto radio, group
      {1001, "Button", "32-bit", 10, 15, 33, 10, 0x9},
      {1, "Button", "OK", 120, 51, 36, 14, 0x10001},                 // default push, tab stop
      {2, "Button", "Cancel", 120, 68, 36, 14, 0x10000},
      {-1, "Static", " Scale Input By ", 10, 42, 51, 8, 0x20000},    // group
      {1007, "Edit", "", 10, 54, 33, 12, 0x810080},                  // border, auto scroll, tab stop
      {-1, "Static", "dB", 46, 56, 10, 8, 0x0},
      {1008, "Button", "Dither", 48, 26, 35, 10, 0x10003},           // auto check box, tab stop
      {1006, "Static", "Read MPEG As", 10, 4, 65, 8, 0x20000},       // group
  };
  ASSERT_EQ(dialog->control_count, std::size(controls));
  for (std::size_t i = 0; i < std::size(controls); ++i) {
    SCOPED_TRACE(i);
    const platform::posix::DialogControlTemplate& c = dialog->controls[i];
    EXPECT_EQ(c.id, controls[i].id);
    EXPECT_STREQ(c.class_name, controls[i].class_name);
    EXPECT_STREQ(c.text, controls[i].text);
    EXPECT_EQ(c.x, controls[i].x);
    EXPECT_EQ(c.y, controls[i].y);
    EXPECT_EQ(c.width, controls[i].width);
    EXPECT_EQ(c.height, controls[i].height);
    EXPECT_EQ(c.style, 0x50000000u | controls[i].style);
  }
}

// The resource compiler must read the script as the dialog manager does.
TEST(OptionsDialogTemplate, AgreesWithTheResourceCompiler) {
  std::string windres;
  for (const char* tool : {"x86_64-w64-mingw32-windres", "i686-w64-mingw32-windres", "windres"}) {
    if (std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0) {
      windres = tool;
      break;
    }
  }
  if (windres.empty()) GTEST_SKIP() << "*** windres not installed: resource script not compiled here ***";
  host_test::TempDir dir;
  const std::string command = windres + " -O rc " + MPEGIN_SOURCE_DIR "/resources/mpeginput.rc -o " + dir.file("out.rc");
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  const std::string compiled = host_test::read_file(dir.file("out.rc"));
  const platform::posix::DialogTemplate* dialog = platform::posix::find_dialog_template(kOptionsDialogTemplate);
  ASSERT_NE(dialog, nullptr);
  char line[256];
  std::snprintf(line, sizeof line, "STYLE 0x%x", dialog->style);
  EXPECT_NE(compiled.find(line), std::string::npos) << line << "\n" << compiled;
  std::size_t position = 0;
  for (std::size_t i = 0; i < dialog->control_count; ++i) {
    const platform::posix::DialogControlTemplate& c = dialog->controls[i];
    std::string upper_class = c.class_name;
    for (char& ch : upper_class) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    std::snprintf(line, sizeof line, "CONTROL \"%s\", %d, \"%s\", 0x%x, %d, %d, %d, %d", c.text, c.id,
                  upper_class.c_str(), c.style, c.x, c.y, c.width, c.height);
    const std::size_t found = compiled.find(line, position);
    ASSERT_NE(found, std::string::npos) << line << "\n" << compiled;
    position = found + 1;  // and in template order
  }
}

}  // namespace
}  // namespace mpegin
