#include "platform/linux/sdl_joystick.h"

#include "platform/linux/linux_stick_identity.h"

#include <SDL.h>
#include <fcntl.h>
#include <linux/input.h>
#include <sys/epoll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <string_view>

namespace zq {

uint32_t ScaleAxis(int16_t value) {
  // Two straight pieces, so that both ends reach 0 and 65535 and SDL's
  // centre 0 lands on 32767.
  int32_t v = value;
  if (v <= 0) return static_cast<uint32_t>((v + 32768) * 32767 / 32768);
  return static_cast<uint32_t>(32767 + (v * 32768 + 16383) / 32767);
}

uint32_t PovOfHat(uint8_t hat) {
  switch (hat) {
    case SDL_HAT_UP:
      return 0;
    case SDL_HAT_RIGHTUP:
      return 4500;
    case SDL_HAT_RIGHT:
      return 9000;
    case SDL_HAT_RIGHTDOWN:
      return 13500;
    case SDL_HAT_DOWN:
      return 18000;
    case SDL_HAT_LEFTDOWN:
      return 22500;
    case SDL_HAT_LEFT:
      return 27000;
    case SDL_HAT_LEFTUP:
      return 31500;
    default:
      return kPovCentered;
  }
}

void FillRecord(const RawJoystick& raw, JoyInfoEx& record) {
  for (int a = 0; a < 6; ++a) {
    // An axis the stick does not have reads 0, as with the Windows call.
    record.SetWord(a, a < raw.axisCount ? ScaleAxis(raw.axes[static_cast<size_t>(a)]) : 0);
  }
  record.dwButtons = raw.buttons;
  record.dwButtonNumber = static_cast<uint32_t>(raw.pressedCount);
  record.dwPOV = raw.hasHat ? PovOfHat(raw.hat) : kPovCentered;
  record.dwReserved1 = 0;
  record.dwReserved2 = 0;
}

int JoystickIds::Assign(const JoystickIdentity& device) {
  auto findFree = [this](auto&& same) {
    for (int id = 0; id < kJoystickCount; ++id) {
      const Slot& s = slots_[static_cast<size_t>(id)];
      if (s.used && !s.connected && same(s.identity)) return id;
    }
    return -1;
  };
  int id = -1;
  if (!device.serial.empty()) {
    id = findFree([&](const JoystickIdentity& k) {
      return k.guid == device.guid && k.serial == device.serial;
    });
  } else {
    id = findFree([&](const JoystickIdentity& k) {
      return k.guid == device.guid && k.serial.empty() && k.path == device.path;
    });
    if (id < 0) {
      id = findFree(
          [&](const JoystickIdentity& k) { return k.guid == device.guid && k.serial.empty(); });
    }
  }
  if (id < 0) {
    for (int i = 0; i < kJoystickCount && id < 0; ++i) {
      if (!slots_[static_cast<size_t>(i)].used) id = i;
    }
  }
  if (id < 0) return -1;
  Slot& s = slots_[static_cast<size_t>(id)];
  s.used = true;
  s.connected = true;
  s.identity = device;
  return id;
}

void JoystickIds::Release(int id) {
  if (id >= 0 && id < kJoystickCount) slots_[static_cast<size_t>(id)].connected = false;
}

bool JoystickIds::Connected(int id) const {
  return id >= 0 && id < kJoystickCount && slots_[static_cast<size_t>(id)].connected;
}

SdlJoysticks::~SdlJoysticks() {
  if (hotplug_ >= 0) ::close(hotplug_);
  CloseAll();
  if (events_ >= 0) ::close(events_);
  if (started_) SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
}

void SdlJoysticks::CloseAll() {
  for (int id = 0; id < kJoystickCount; ++id) Close(id);
}

void SdlJoysticks::Close(int id) {
  const size_t i = static_cast<size_t>(id);
  if (open_[i] != nullptr) SDL_JoystickClose(open_[i]);
  open_[i] = nullptr;
  // Closing takes the descriptor out of the epoll set too.
  if (watch_[i] >= 0) ::close(watch_[i]);
  watch_[i] = -1;
  watched_[i] = false;
}

// Only event devices: a HID device read directly would need its reports
// parsed, and anything else is left to the ticks.
void SdlJoysticks::WatchStick(int id, const char* path) {
  const size_t i = static_cast<size_t>(id);
  const int32_t instance = instance_[i];
  if (std::find(elsewhere_.begin(), elsewhere_.end(), instance) != elsewhere_.end()) {
    watched_[i] = true;
    return;
  }
  if (events_ < 0 || path == nullptr || std::string_view(path).rfind("/dev/input/", 0) != 0) return;
  const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return;
  epoll_event e{};
  e.events = EPOLLIN;
  e.data.u32 = static_cast<uint32_t>(id);
  if (::epoll_ctl(events_, EPOLL_CTL_ADD, fd, &e) != 0) {
    ::close(fd);
    return;
  }
  watch_[i] = fd;
  watched_[i] = true;
}

bool SdlJoysticks::DrainEvents() {
  bool any = false;
  for (int fd : watch_) {
    if (fd < 0) continue;
    input_event buffer[64];
    ssize_t n;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0) any = true;
    // A device gone (ENODEV) keeps the set readable until Update() closes
    // it: the ticks run meanwhile, as after any hotplug.
  }
  return any;
}

bool SdlJoysticks::Start(std::string& error) {
  SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
  if (SDL_InitSubSystem(SDL_INIT_JOYSTICK) != 0) {
    error = std::string("cannot start the joystick subsystem: ") + SDL_GetError();
    return false;
  }
  started_ = true;
  events_ = ::epoll_create1(EPOLL_CLOEXEC);
  WatchDevices();
  // The record is read once per tick; per-motion events would only fill the
  // queue. Update() reads the devices itself.
  for (Uint32 type :
       {SDL_JOYAXISMOTION, SDL_JOYBALLMOTION, SDL_JOYHATMOTION, SDL_JOYBUTTONDOWN, SDL_JOYBUTTONUP,
        SDL_JOYDEVICEADDED, SDL_JOYDEVICEREMOVED, SDL_JOYBATTERYUPDATED}) {
    SDL_EventState(type, SDL_IGNORE);
  }
  Update();
  return true;
}

void SdlJoysticks::WatchDevices() {
  if (hotplug_ < 0) hotplug_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (hotplug_ < 0) return;
  constexpr uint32_t kNodes = IN_CREATE | IN_DELETE | IN_ATTRIB | IN_MOVED_TO | IN_MOVED_FROM;
  watchingInput_ = ::inotify_add_watch(hotplug_, "/dev/input", kNodes) >= 0;
  // No input device yet: /dev/input comes with the first one.
  if (!watchingInput_ && ::inotify_add_watch(hotplug_, "/dev", IN_CREATE | IN_MOVED_TO) < 0) {
    ::close(hotplug_);
    hotplug_ = -1;
  }
}

// SDL finds a new device once its udev rules have run (or its own scan
// comes round): the updates go on for a few seconds after a change.
constexpr int kUpdatesAfterHotplug = 100;

void SdlJoysticks::NoteHotplug() {
  if (hotplug_ < 0) return;
  alignas(inotify_event) char buffer[4096];
  while (::read(hotplug_, buffer, sizeof buffer) == static_cast<ssize_t>(sizeof buffer)) {
  }
  if (!watchingInput_) WatchDevices();
  afterHotplug_ = kUpdatesAfterHotplug;
}

void SdlJoysticks::UpdateIfNeeded() {
  bool open = false;
  for (SDL_Joystick* j : open_) open = open || j != nullptr;
  if (!open && afterHotplug_ == 0 && hotplug_ >= 0) return;
  if (afterHotplug_ > 0) --afterHotplug_;
  Update();
}

bool SdlJoysticks::Settled(JoySet used) const {
  if (!started_) return true;
  if (hotplug_ < 0 || afterHotplug_ > 0) return false;
  for (int id = 0; id < kJoystickCount; ++id) {
    const size_t i = static_cast<size_t>(id);
    if (used.Contains(id) && open_[i] != nullptr && !watched_[i]) return false;
  }
  return true;
}

void SdlJoysticks::Update() {
  if (!started_) return;
  SDL_JoystickUpdate();
  for (int id = 0; id < kJoystickCount; ++id) {
    SDL_Joystick*& j = open_[static_cast<size_t>(id)];
    if (j != nullptr && !SDL_JoystickGetAttached(j)) {
      Close(id);
      ids_.Release(id);
      sticksChanged_ = true;
    }
  }
  std::erase_if(ignored_, [](int32_t instance) {
    for (int i = 0; i < SDL_NumJoysticks(); ++i) {
      if (SDL_JoystickGetDeviceInstanceID(i) == instance) return false;
    }
    return true;
  });
  // New devices, in SDL's order of its device indices.
  int count = SDL_NumJoysticks();
  for (int index = 0; index < count; ++index) {
    SDL_JoystickID instance = SDL_JoystickGetDeviceInstanceID(index);
    if (instance < 0) continue;
    bool known = std::find(ignored_.begin(), ignored_.end(), instance) != ignored_.end();
    for (int id = 0; id < kJoystickCount && !known; ++id) {
      known = open_[static_cast<size_t>(id)] != nullptr &&
              instance_[static_cast<size_t>(id)] == instance;
    }
    if (known) continue;
    SDL_Joystick* j = SDL_JoystickOpen(index);
    if (j == nullptr) continue;
    char guid[33];
    SDL_JoystickGetGUIDString(SDL_JoystickGetGUID(j), guid, sizeof guid);
    const char* serial = SDL_JoystickGetSerial(j);
    const char* path = SDL_JoystickPath(j);
    int id = ids_.Assign({guid, serial != nullptr ? serial : "", path != nullptr ? path : ""});
    if (id < 0) {
      SDL_JoystickClose(j);
      ignored_.push_back(instance);
      continue;
    }
    open_[static_cast<size_t>(id)] = j;
    instance_[static_cast<size_t>(id)] = instance;
    bool bluetooth = false;
    pin_[static_cast<size_t>(id)] = LinuxStickIdentity(j, &bluetooth);
    for (const auto& [virtualInstance, identity] : identityOf_) {
      if (virtualInstance == instance) pin_[static_cast<size_t>(id)] = identity;
    }
    bluetooth_[static_cast<size_t>(id)] = bluetooth;
    sticksChanged_ = true;
    WatchStick(id, path);
  }
}

bool SdlJoysticks::Read(int id, RawJoystick& raw) const {
  if (id < 0 || id >= kJoystickCount) return false;
  SDL_Joystick* j = open_[static_cast<size_t>(id)];
  if (j == nullptr) return false;
  raw = {};
  raw.axisCount = std::clamp(SDL_JoystickNumAxes(j), 0, 6);
  for (int a = 0; a < raw.axisCount; ++a)
    raw.axes[static_cast<size_t>(a)] = SDL_JoystickGetAxis(j, a);
  int buttons = std::clamp(SDL_JoystickNumButtons(j), 0, 32);
  for (int b = 0; b < buttons; ++b) {
    if (SDL_JoystickGetButton(j, b) != 0) raw.buttons |= uint32_t{1} << b;
  }
  raw.pressedCount = std::popcount(raw.buttons);
  raw.hasHat = SDL_JoystickNumHats(j) > 0;
  if (raw.hasHat) raw.hat = SDL_JoystickGetHat(j, 0);
  return true;
}

bool SdlJoysticks::Poll(int id, JoyInfoEx& record) const {
  RawJoystick raw;
  if (!Read(id, raw)) return false;
  FillRecord(raw, record);
  return true;
}

std::vector<SdlJoysticks::Info> SdlJoysticks::Connected() const {
  std::vector<Info> list;
  for (int id = 0; id < kJoystickCount; ++id) {
    SDL_Joystick* j = open_[static_cast<size_t>(id)];
    if (j == nullptr) continue;
    char guid[33];
    SDL_JoystickGetGUIDString(SDL_JoystickGetGUID(j), guid, sizeof guid);
    const char* name = SDL_JoystickName(j);
    const char* serial = SDL_JoystickGetSerial(j);
    const char* path = SDL_JoystickPath(j);
    list.push_back({id,
                    name != nullptr ? name : "",
                    SDL_JoystickNumAxes(j),
                    SDL_JoystickNumButtons(j),
                    SDL_JoystickNumHats(j),
                    {guid, serial != nullptr ? serial : "", path != nullptr ? path : ""},
                    pin_[static_cast<size_t>(id)],
                    bluetooth_[static_cast<size_t>(id)]});
  }
  return list;
}

int SdlJoysticks::ListSticks(std::span<PresentStick> out) const {
  size_t n = 0;
  for (int id = 0; id < kJoystickCount && n < out.size(); ++id) {
    if (open_[static_cast<size_t>(id)] != nullptr) out[n++] = {id, pin_[static_cast<size_t>(id)]};
  }
  return static_cast<int>(n);
}

}  // namespace zq
