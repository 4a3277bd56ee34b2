# Turns the dialogs of a resource script into the C++ table that the POSIX dialog manager
# builds them from, so that Windows and POSIX show the same dialog from one description.
#   cmake -DRC_FILE=mpeginput.rc -DOUTPUT=dialog_templates.cpp -P dialog_template.cmake
# Styles get the values the resource compiler gives them: controls WS_CHILD | WS_VISIBLE plus
# their own styles, a dialog with a FONT line DS_SETFONT plus its STYLE.

cmake_minimum_required(VERSION 3.20)
if(NOT RC_FILE OR NOT OUTPUT)
  message(FATAL_ERROR "dialog_template.cmake: set RC_FILE and OUTPUT")
endif()

set(style_DS_SETFONT 0x40)
set(style_DS_MODALFRAME 0x80)
set(style_WS_POPUP 0x80000000)
set(style_WS_CHILD 0x40000000)
set(style_WS_VISIBLE 0x10000000)
set(style_WS_DISABLED 0x08000000)
set(style_WS_CAPTION 0x00C00000)
set(style_WS_BORDER 0x00800000)
set(style_WS_SYSMENU 0x00080000)
set(style_WS_GROUP 0x00020000)
set(style_WS_TABSTOP 0x00010000)
set(style_BS_PUSHBUTTON 0x0)
set(style_BS_DEFPUSHBUTTON 0x1)
set(style_BS_CHECKBOX 0x2)
set(style_BS_AUTOCHECKBOX 0x3)
set(style_BS_RADIOBUTTON 0x4)
set(style_BS_AUTORADIOBUTTON 0x9)
set(style_ES_LEFT 0x0)
set(style_ES_AUTOHSCROLL 0x80)
set(style_SS_LEFT 0x0)
set(style_SS_GRAYFRAME 0x8)
set(style_SS_ETCHEDHORZ 0x10)
set(style_SS_SUNKEN 0x1000)

# style_value(<out> <"A | B | C"> <initial value>)
function(style_value out expression initial)
  set(value ${initial})
  string(REPLACE "|" " " names "${expression}")
  separate_arguments(names UNIX_COMMAND "${names}")
  foreach(name IN LISTS names)
    if(NOT DEFINED style_${name})
      message(FATAL_ERROR "${RC_FILE}: unknown style ${name}")
    endif()
    math(EXPR value "${value} | ${style_${name}}" OUTPUT_FORMAT HEXADECIMAL)
  endforeach()
  set(${out} ${value} PARENT_SCOPE)
endfunction()

set(n "[0-9]+")
set(sep "[ \t]*,[ \t]*")
file(STRINGS "${RC_FILE}" lines)
set(dialogs "")
set(controls "")
set(in_body FALSE)
foreach(line IN LISTS lines)
  string(REGEX REPLACE "//.*$" "" line "${line}")
  string(STRIP "${line}" line)
  if(line STREQUAL "" OR line MATCHES "^#include")
    continue()
  elseif(line MATCHES "^(${n})[ \t]+DIALOG[ \t]+(${n})${sep}(${n})${sep}(${n})${sep}(${n})$")
    set(id ${CMAKE_MATCH_1})
    set(geometry "${CMAKE_MATCH_2}, ${CMAKE_MATCH_3}, ${CMAKE_MATCH_4}, ${CMAKE_MATCH_5}")
    set(style_names "")
    set(caption "")
    set(font_size 0)
    set(font_name "")
  elseif(line MATCHES "^STYLE[ \t]+(.+)$")
    set(style_names "${CMAKE_MATCH_1}")
  elseif(line MATCHES "^CAPTION[ \t]+\"([^\"]*)\"$")
    set(caption "${CMAKE_MATCH_1}")
  elseif(line MATCHES "^FONT[ \t]+(${n})${sep}\"([^\"]*)\"$")
    set(font_size ${CMAKE_MATCH_1})
    set(font_name "${CMAKE_MATCH_2}")
  elseif(line STREQUAL "BEGIN")
    set(in_body TRUE)
    set(control_rows "")
    set(control_count 0)
  elseif(in_body AND line MATCHES "^CONTROL[ \t]+\"([^\"]*)\"${sep}(-?${n})${sep}\"([A-Za-z]+)\"${sep}([A-Z_ |]+)${sep}(${n})${sep}(${n})${sep}(${n})${sep}(${n})$")
    set(text "${CMAKE_MATCH_1}")
    set(control_id ${CMAKE_MATCH_2})
    set(class_name "${CMAKE_MATCH_3}")
    string(STRIP "${CMAKE_MATCH_4}" names)
    set(position "${CMAKE_MATCH_5}, ${CMAKE_MATCH_6}, ${CMAKE_MATCH_7}, ${CMAKE_MATCH_8}")
    style_value(style "${names}" 0x50000000)
    string(APPEND control_rows
      "    {\"${text}\", ${control_id}, \"${class_name}\", ${style}u, ${position}},  // ${names}\n")
    math(EXPR control_count "${control_count} + 1")
  elseif(in_body AND line STREQUAL "END")
    set(in_body FALSE)
    if(font_name STREQUAL "")
      set(base 0)
    else()
      set(base ${style_DS_SETFONT})
    endif()
    style_value(dialog_style "${style_names}" ${base})
    string(APPEND controls
      "const DialogControlTemplate kDialog${id}Controls[] = {\n${control_rows}};\n\n")
    string(APPEND dialogs
      "    {${id}, \"${caption}\", ${dialog_style}u, ${geometry}, ${font_size}, \"${font_name}\", "
      "kDialog${id}Controls, ${control_count}},  // ${style_names}\n")
  else()
    message(FATAL_ERROR "${RC_FILE}: cannot read the line: ${line}")
  endif()
endforeach()
if(dialogs STREQUAL "")
  message(FATAL_ERROR "${RC_FILE}: no dialog found")
endif()

get_filename_component(rc_name "${RC_FILE}" NAME)
file(WRITE "${OUTPUT}.tmp"
"// Generated from resources/${rc_name} by resources/dialog_template.cmake. Do not edit.
#include \"platform/posix/dialog_template.h\"

namespace mpegin::platform::posix {
namespace {

${controls}const DialogTemplate kDialogs[] = {
${dialogs}};

}  // namespace

const DialogTemplate* find_dialog_template(int id) {
  for (const DialogTemplate& dialog : kDialogs) {
    if (dialog.id == id) return &dialog;
  }
  return nullptr;
}

}  // namespace mpegin::platform::posix
")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
