#include "testkit/xorg_fixture.h"

#include <filesystem>

namespace pel::x11test {

namespace {

constexpr const char* kConfig = R"(Section "ServerFlags"
  Option "AutoAddDevices" "false"
  Option "AutoEnableDevices" "false"
  Option "DontVTSwitch" "true"
EndSection
Section "Device"
  Identifier "dummy"
  Driver "dummy"
  VideoRam 256000
EndSection
Section "Monitor"
  Identifier "monitor"
  HorizSync 5.0-1000.0
  VertRefresh 5.0-1000.0
  Modeline "1920x1080" 148.50 1920 2008 2052 2200 1080 1084 1089 1125
  Modeline "1280x1024" 108.00 1280 1328 1440 1688 1024 1025 1028 1066
EndSection
Section "Screen"
  Identifier "screen"
  Device "dummy"
  Monitor "monitor"
  DefaultDepth 24
  SubSection "Display"
    Depth 24
    Virtual 4096 4096
  EndSubSection
EndSection
)";

}  // namespace

detail::XorgConfig::XorgConfig() {
  test::WriteWholeFile(folder / "xorg.conf", kConfig);
  std::filesystem::create_directory(folder / "conf.d");
}

XorgDummy::XorgDummy()
    : Xvfb(Command{{"Xorg", "-displayfd", "3", "-noreset", "-nolisten", "tcp", "-config",
                    folder / "xorg.conf", "-configdir", folder / "conf.d", "-logfile",
                    folder / "xorg.log"}}) {
  for (const char* mode : {"1920x1080", "1280x1024"})
    for (int output = 0; output < 2; ++output)
      Run("xrandr --addmode DUMMY" + std::to_string(output) + " " + mode + " 2>/dev/null");
}

bool XorgDummy::Xrandr(const std::string& args) const {
  // The full query afterwards (which probes the outputs) is what makes Wine, which reads only
  // the current configuration when it starts, see the new layout; without it Wine saw only
  // the primary monitor.
  return Run("xrandr " + args) == 0 && Run("xrandr >/dev/null") == 0;
}

}  // namespace pel::x11test
