// Dialog templates as the resource compiler would store them: the dialog's caption, style,
// geometry and font, and its controls in template order. The table is generated from the
// module's resource script (resources/mpeginput.rc).
#pragma once

#include <cstddef>
#include <cstdint>

namespace mpegin::platform::posix {

// Style bits with their Windows values.
constexpr uint32_t kStyleDisabled = 0x08000000;  // WS_DISABLED
constexpr uint32_t kStyleGroup = 0x00020000;     // WS_GROUP
constexpr uint32_t kStyleTabStop = 0x00010000;   // WS_TABSTOP
constexpr uint32_t kButtonTypeMask = 0xF;        // BS_TYPEMASK
constexpr uint32_t kButtonPush = 0x0;            // BS_PUSHBUTTON
constexpr uint32_t kButtonDefaultPush = 0x1;     // BS_DEFPUSHBUTTON
constexpr uint32_t kButtonCheckBox = 0x2;        // BS_CHECKBOX
constexpr uint32_t kButtonAutoCheckBox = 0x3;    // BS_AUTOCHECKBOX
constexpr uint32_t kButtonRadio = 0x4;           // BS_RADIOBUTTON
constexpr uint32_t kButtonAutoRadio = 0x9;       // BS_AUTORADIOBUTTON
constexpr uint32_t kStaticTypeMask = 0x1F;       // SS_TYPEMASK
constexpr uint32_t kStaticGrayFrame = 0x8;       // SS_GRAYFRAME
constexpr uint32_t kStaticEtchedHorizontal = 0x10;  // SS_ETCHEDHORZ

struct DialogControlTemplate {
  const char* text;
  int id;                  // -1: no id
  const char* class_name;  // "Button", "Edit", "Static"
  uint32_t style;
  int x, y, width, height;  // dialog units
};

struct DialogTemplate {
  int id;
  const char* caption;
  uint32_t style;
  int x, y, width, height;
  int font_size;
  const char* font_name;
  const DialogControlTemplate* controls;
  std::size_t control_count;
};

// Null when no dialog of that id exists.
const DialogTemplate* find_dialog_template(int id);

}  // namespace mpegin::platform::posix
