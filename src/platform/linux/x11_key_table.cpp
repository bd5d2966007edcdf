#include "platform/linux/x11_key_table.h"

#include <linux/input-event-codes.h>

#include <bit>
#include <cstddef>

#include "config/virtual_keys.h"

namespace zq {
namespace {

struct Entry {
  int code;
  uint8_t vk, sideVk;
};

// Keys whose virtual key does not depend on Num Lock.
constexpr Entry kFixed[] = {
    {KEY_ESC, 27, 0},         {KEY_1, '1', 0},         {KEY_2, '2', 0},
    {KEY_3, '3', 0},          {KEY_4, '4', 0},         {KEY_5, '5', 0},
    {KEY_6, '6', 0},          {KEY_7, '7', 0},         {KEY_8, '8', 0},
    {KEY_9, '9', 0},          {KEY_0, '0', 0},         {KEY_MINUS, 189, 0},
    {KEY_EQUAL, 187, 0},      {KEY_BACKSPACE, 8, 0},   {KEY_TAB, 9, 0},
    {KEY_Q, 'Q', 0},          {KEY_W, 'W', 0},         {KEY_E, 'E', 0},
    {KEY_R, 'R', 0},          {KEY_T, 'T', 0},         {KEY_Y, 'Y', 0},
    {KEY_U, 'U', 0},          {KEY_I, 'I', 0},         {KEY_O, 'O', 0},
    {KEY_P, 'P', 0},          {KEY_LEFTBRACE, 219, 0}, {KEY_RIGHTBRACE, 221, 0},
    {KEY_ENTER, 13, 0},       {KEY_LEFTCTRL, 17, 162}, {KEY_A, 'A', 0},
    {KEY_S, 'S', 0},          {KEY_D, 'D', 0},         {KEY_F, 'F', 0},
    {KEY_G, 'G', 0},          {KEY_H, 'H', 0},         {KEY_J, 'J', 0},
    {KEY_K, 'K', 0},          {KEY_L, 'L', 0},         {KEY_SEMICOLON, 186, 0},
    {KEY_APOSTROPHE, 222, 0}, {KEY_GRAVE, 192, 0},     {KEY_LEFTSHIFT, 16, 160},
    {KEY_BACKSLASH, 220, 0},  {KEY_Z, 'Z', 0},         {KEY_X, 'X', 0},
    {KEY_C, 'C', 0},          {KEY_V, 'V', 0},         {KEY_B, 'B', 0},
    {KEY_N, 'N', 0},          {KEY_M, 'M', 0},         {KEY_COMMA, 188, 0},
    {KEY_DOT, 190, 0},        {KEY_SLASH, 191, 0},     {KEY_RIGHTSHIFT, 16, 161},
    {KEY_KPASTERISK, 106, 0}, {KEY_LEFTALT, 18, 164},  {KEY_SPACE, 32, 0},
    {KEY_CAPSLOCK, 20, 0},    {KEY_F1, 112, 0},        {KEY_F2, 113, 0},
    {KEY_F3, 114, 0},         {KEY_F4, 115, 0},        {KEY_F5, 116, 0},
    {KEY_F6, 117, 0},         {KEY_F7, 118, 0},        {KEY_F8, 119, 0},
    {KEY_F9, 120, 0},         {KEY_F10, 121, 0},       {KEY_NUMLOCK, 144, 0},
    {KEY_SCROLLLOCK, 145, 0}, {KEY_KPMINUS, 109, 0},   {KEY_KPPLUS, 107, 0},
    {KEY_102ND, 226, 0},      {KEY_F11, 122, 0},       {KEY_F12, 123, 0},
    {KEY_RO, 193, 0},         {KEY_KPENTER, 13, 0},    {KEY_RIGHTCTRL, 17, 163},
    {KEY_KPSLASH, 111, 0},    {KEY_SYSRQ, 44, 0},      {KEY_RIGHTALT, 18, 165},
    {KEY_HOME, 36, 0},        {KEY_UP, 38, 0},         {KEY_PAGEUP, 33, 0},
    {KEY_LEFT, 37, 0},        {KEY_RIGHT, 39, 0},      {KEY_END, 35, 0},
    {KEY_DOWN, 40, 0},        {KEY_PAGEDOWN, 34, 0},   {KEY_INSERT, 45, 0},
    {KEY_DELETE, 46, 0},      {KEY_MUTE, 173, 0},      {KEY_VOLUMEDOWN, 174, 0},
    {KEY_VOLUMEUP, 175, 0},   {KEY_PAUSE, 19, 0},      {KEY_KPCOMMA, 108, 0},
    {KEY_HANGEUL, 21, 0},     {KEY_HANJA, 25, 0},      {KEY_YEN, 220, 0},
    {KEY_LEFTMETA, 91, 0},    {KEY_RIGHTMETA, 92, 0},  {KEY_COMPOSE, 93, 0},
    {KEY_STOP, 169, 0},       {KEY_HELP, 47, 0},       {KEY_CALC, 183, 0},
    {KEY_SLEEP, 95, 0},       {KEY_MAIL, 180, 0},      {KEY_BOOKMARKS, 171, 0},
    {KEY_COMPUTER, 182, 0},   {KEY_BACK, 166, 0},      {KEY_FORWARD, 167, 0},
    {KEY_NEXTSONG, 176, 0},   {KEY_PLAYPAUSE, 179, 0}, {KEY_PREVIOUSSONG, 177, 0},
    {KEY_STOPCD, 178, 0},     {KEY_HOMEPAGE, 172, 0},  {KEY_REFRESH, 168, 0},
    {KEY_F13, 124, 0},        {KEY_F14, 125, 0},       {KEY_F15, 126, 0},
    {KEY_F16, 127, 0},        {KEY_F17, 128, 0},       {KEY_F18, 129, 0},
    {KEY_F19, 130, 0},        {KEY_F20, 131, 0},       {KEY_F21, 132, 0},
    {KEY_F22, 133, 0},        {KEY_F23, 134, 0},       {KEY_F24, 135, 0},
    {KEY_PRINT, 42, 0},       {KEY_SEARCH, 170, 0},    {KEY_MEDIA, 181, 0},
};

// Keypad keys: virtual key with Num Lock on, and with it off.
struct KeypadEntry {
  int code;
  uint8_t numLockOn, numLockOff;
};
constexpr KeypadEntry kKeypad[] = {
    {KEY_KP7, 103, 36}, {KEY_KP8, 104, 38}, {KEY_KP9, 105, 33},   {KEY_KP4, 100, 37},
    {KEY_KP5, 101, 12}, {KEY_KP6, 102, 39}, {KEY_KP1, 97, 35},    {KEY_KP2, 98, 40},
    {KEY_KP3, 99, 34},  {KEY_KP0, 96, 45},  {KEY_KPDOT, 110, 46},
};

}  // namespace

KeyVks VirtualKeysOfInputCode(int inputCode, bool numLock) {
  for (const KeypadEntry& k : kKeypad) {
    if (k.code == inputCode) return {numLock ? k.numLockOn : k.numLockOff, 0};
  }
  for (const Entry& e : kFixed) {
    if (e.code == inputCode) return {e.vk, e.sideVk};
  }
  return {};
}

KeycodeTable StandardKeycodeTable() {
  KeycodeTable t;
  for (int keycode = kXKeycodeOffset; keycode < 256; ++keycode) {
    t.numLockOff[static_cast<size_t>(keycode)] =
        VirtualKeysOfInputCode(keycode - kXKeycodeOffset, false);
    t.numLockOn[static_cast<size_t>(keycode)] =
        VirtualKeysOfInputCode(keycode - kXKeycodeOffset, true);
  }
  return t;
}

void MoveLayoutKey(KeycodeTable& table, uint8_t vk, int keycode) {
  if (keycode < 0 || keycode > 255) return;
  for (auto* states : {&table.numLockOff, &table.numLockOn}) {
    for (KeyVks& k : *states) {
      if (k.vk == vk) k = {};
    }
    (*states)[static_cast<size_t>(keycode)] = {vk, 0};
  }
}

void KeyStatesFromKeymap(const std::array<uint8_t, 32>& keymap, const KeycodeTable& table,
                         LockStates locks, std::array<uint8_t, 256>& states) {
  states.fill(0);
  const std::array<KeyVks, 256>& vks = table.For(locks.numLock);
  for (int byte = 0; byte < 32; ++byte) {
    for (uint8_t bits = keymap[static_cast<size_t>(byte)]; bits != 0;
         bits = static_cast<uint8_t>(bits & (bits - 1))) {
      int keycode = byte * 8 + std::countr_zero(bits);
      const KeyVks& k = vks[static_cast<size_t>(keycode)];
      if (k.vk != 0) states[k.vk] = 0x80;
      if (k.sideVk != 0) states[k.sideVk] = 0x80;
    }
  }
  // The toggled bit: the lock keys' state as their indicators show it.
  if (locks.numLock) states[kVkNumLock] |= 1;
  if (locks.capsLock) states[20] |= 1;
  if (locks.scrollLock) states[145] |= 1;
}

}  // namespace zq
