#include "platform/win32/win32_stick_identity.h"

#include <windows.h>
// windows.h first: mmsystem.h relies on its types.
#include <mmsystem.h>
#define DIRECTINPUT_VERSION 0x0800
#include <dinput.h>
#include <dinputd.h>

#include <cstdio>

namespace zq {
namespace {

// A string value, from HKCU first, then HKLM.
std::string ReadRegistryText(const std::string& subKey, const std::string& value) {
  for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
    char buffer[256];
    DWORD size = sizeof buffer - 1;
    DWORD type = 0;
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, subKey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) continue;
    LONG result = RegQueryValueExA(key, value.c_str(), nullptr, &type,
                                   reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) continue;
    buffer[size < sizeof buffer ? size : sizeof buffer - 1] = '\0';
    if (buffer[0] != '\0') return buffer;
  }
  return "";
}

// The instance GUID DirectInput gives joystick `id`; dinput8.dll is loaded
// only here, so a system without it still runs the panel.
std::string InstanceGuid(int id) {
  HMODULE dinput = LoadLibraryA("dinput8.dll");
  if (dinput == nullptr) return "";
  using Create = HRESULT(WINAPI*)(HINSTANCE, DWORD, REFIID, LPVOID*, LPUNKNOWN);
  auto create = reinterpret_cast<Create>(
      reinterpret_cast<void*>(GetProcAddress(dinput, "DirectInput8Create")));
  std::string text;
  IDirectInput8A* input = nullptr;
  if (create != nullptr &&
      SUCCEEDED(create(GetModuleHandleA(nullptr), DIRECTINPUT_VERSION, IID_IDirectInput8A,
                       reinterpret_cast<void**>(&input), nullptr)) &&
      input != nullptr) {
    IDirectInputJoyConfig8* config = nullptr;
    if (SUCCEEDED(
            input->QueryInterface(IID_IDirectInputJoyConfig8, reinterpret_cast<void**>(&config))) &&
        config != nullptr) {
      DIJOYCONFIG joy{};
      joy.dwSize = sizeof joy;
      if (SUCCEEDED(config->GetConfig(static_cast<UINT>(id), &joy, DIJC_GUIDINSTANCE))) {
        const GUID& g = joy.guidInstance;
        char buffer[40];
        std::snprintf(buffer, sizeof buffer, "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                      static_cast<unsigned long>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1],
                      g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
        if (g != GUID{}) text = buffer;
      }
      config->Release();
    }
    input->Release();
  }
  FreeLibrary(dinput);
  return text;
}

}  // namespace

std::string JoystickOemName(const std::string& regKey, int id) {
  if (regKey.empty() || id < 0 || id >= 16) return "";
  const std::string oem =
      ReadRegistryText("System\\CurrentControlSet\\Control\\MediaResources\\Joystick\\" + regKey +
                           "\\CurrentJoystickSettings",
                       "Joystick" + std::to_string(id + 1) + "OEMName");
  if (oem.empty()) return "";
  return ReadRegistryText(
      "System\\CurrentControlSet\\Control\\MediaProperties\\PrivateProperties\\Joystick\\OEM\\" +
          oem,
      "OEMName");
}

StickIdentity Win32StickIdentity(int id) {
  StickIdentity identity;
  JOYCAPSA caps{};
  if (joyGetDevCapsA(static_cast<UINT>(id), &caps, sizeof caps) != JOYERR_NOERROR) {
    return identity;
  }
  identity.vendor = caps.wMid;
  identity.product = caps.wPid;
  caps.szRegKey[sizeof caps.szRegKey - 1] = '\0';
  caps.szPname[sizeof caps.szPname - 1] = '\0';
  // The driver's product name is a generic one ("Microsoft PC-joystick
  // driver"); the device's own name is in the OEM keys.
  std::string name = JoystickOemName(caps.szRegKey, id);
  identity.name.Append(name.empty() ? std::string(caps.szPname) : name);
  identity.guid.Append(InstanceGuid(id));
  return identity;
}

}  // namespace zq
