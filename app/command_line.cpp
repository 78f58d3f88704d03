#include "app/command_line.h"

#include <algorithm>
#include <charconv>
#include <string_view>

#include "engine/motionfile/motion_info.h"

namespace pel {

namespace {

// What an option takes after it.
enum class Takes { Nothing, File, Count, Factor, Seconds, Word };

struct Option {
  std::string_view name;
  Takes takes;
  std::string_view value;  // what --help calls the value
  std::string_view help;
  CommandLine::Action action = CommandLine::Action::Window;  // of a FILE option
  // Of an option without value: the flag it sets, of playing or of recording, and to what.
  bool PlaybackOptions::*flag = nullptr;
  bool RecordingOptions::*recording = nullptr;
  bool sets = true;
};

constexpr Option kOptions[] = {
    {"--play", Takes::File, "FILE", "play FILE without showing the window, then exit",
     CommandLine::Action::Play},
    {"--record", Takes::File, "FILE", "record at once with the window hidden; Pause saves FILE",
     CommandLine::Action::Record},
    {"--info", Takes::File, "FILE", "print what FILE holds and exit", CommandLine::Action::Info},
    {"--command", Takes::Word, "WORD",
     "tell the running instance to act as its key would, then exit:\n"
     "record (F10; while recording, Pause), play (F9), stop (Pause)\n"
     "or toggle-window (F12)",
     CommandLine::Action::Command},
    {"--repeat", Takes::Count, "N",
     "play N passes; 0 plays until Pause (the window's way; --play alone plays one pass)"},
    {"--speed", Takes::Factor, "F", "play F times as fast, from 0.1 to 100 (default 1)"},
    {"--stop-on-move", Takes::Nothing, "", "stop playing when you move the mouse yourself",
     CommandLine::Action::Window, &PlaybackOptions::stop_on_move},
    {"--pauses-before-events", Takes::Nothing, "",
     "wait each pause before its event, where it happened", CommandLine::Action::Window,
     &PlaybackOptions::wait_before},
    {"--wait-for-window", Takes::Seconds, "SECONDS",
     "wait up to SECONDS for a window that is not open"},
    {"--screen-positions", Takes::Nothing, "",
     "play positions where recorded, not in their windows", CommandLine::Action::Window,
     &PlaybackOptions::screen_positions},
    {"--every-event", Takes::Nothing, "",
     "record each move, press and release at its own moment, not every 10 ms",
     CommandLine::Action::Window, nullptr, &RecordingOptions::every_event},
    {"--no-wheel", Takes::Nothing, "", "leave the mouse wheel out of recordings",
     CommandLine::Action::Window, nullptr, &RecordingOptions::wheel, false},
    {"--no-side-buttons", Takes::Nothing, "", "leave the side buttons out of recordings",
     CommandLine::Action::Window, nullptr, &RecordingOptions::side_buttons, false},
};

constexpr double kSlowest = 0.1;
constexpr double kFastest = 100;
constexpr double kLongestWait = 86400;  // a day

const Option* FindOption(std::string_view name) {
  for (const Option& o : kOptions)
    if (o.name == name) return &o;
  return nullptr;
}

// A whole number from 0 (digits only).
bool ReadCount(const std::string& text, int& out) {
  if (text.empty() || text.find_first_not_of("0123456789") != text.npos) return false;
  auto res = std::from_chars(text.data(), text.data() + text.size(), out);
  return res.ec == std::errc() && res.ptr == text.data() + text.size();
}

// A decimal number with "." as its point, whatever the locale.
bool ReadFactor(const std::string& text, double& out) {
  if (text.empty() || text.find_first_not_of("0123456789.eE+-") != text.npos) return false;
  auto res = std::from_chars(text.data(), text.data() + text.size(), out);
  return res.ec == std::errc() && res.ptr == text.data() + text.size();
}

class Parser {
 public:
  explicit Parser(std::string& error) : error_(error) {}

  bool Take(const std::string& name, const std::string& value) {
    const Option* option = FindOption(name);
    if (!option) return Fail("unknown option " + name);
    switch (option->takes) {
      case Takes::Nothing:
        if (option->recording) {
          line_.recording.*option->recording = option->sets;
          recording_option_ = name;
        } else {
          line_.playback.*option->flag = option->sets;
          playback_option_ = name;
        }
        return true;
      case Takes::File:
        if (value.empty()) return Fail(name + " needs FILE");
        return SetAction(option->action, name, value);
      case Takes::Count:
        if (!ReadCount(value, line_.playback.repeat))
          return Fail(name + " wants a whole number from 0, not \"" + value + "\"");
        line_.playback.repeat_given = true;
        playback_option_ = name;
        return true;
      case Takes::Factor: {
        double& speed = line_.playback.speed;
        if (!ReadFactor(value, speed) || !(speed >= kSlowest && speed <= kFastest))
          return Fail(name + " wants a number from 0.1 to 100, not \"" + value + "\"");
        playback_option_ = name;
        return true;
      }
      case Takes::Word: {
        line_.command = CommandOfWord(value);
        if (!line_.command) {
          std::string words;
          for (const auto& c : kCommandWords)
            words.append(words.empty() ? "" : ", ").append(c.word);
          return Fail(name + " wants one of " + words + ", not \"" + value + "\"");
        }
        if (line_.action != CommandLine::Action::Window || line_.file)
          return Fail(name + " goes alone" +
                      (line_.file ? ", without \"" + *line_.file + "\"" : std::string()));
        line_.action = option->action;
        action_name_ = name;
        return true;
      }
      case Takes::Seconds: {
        double& wait = line_.playback.wait_for_window;
        if (!ReadFactor(value, wait) || !(wait >= 0 && wait <= kLongestWait))
          return Fail(name + " wants seconds from 0 to 86400, not \"" + value + "\"");
        playback_option_ = name;
        return true;
      }
    }
    return true;
  }

  bool File(const std::string& path) {
    if (path.empty()) return Fail("an empty FILE name");
    return SetAction(CommandLine::Action::Window, "FILE", path);
  }

  std::optional<CommandLine> Finish() {
    const bool plays =
        line_.action == CommandLine::Action::Window || line_.action == CommandLine::Action::Play;
    if (!plays && !playback_option_.empty()) {
      Fail(playback_option_ + " only applies to playing, not to " + action_name_);
      return std::nullopt;
    }
    const bool records =
        line_.action == CommandLine::Action::Window || line_.action == CommandLine::Action::Record;
    if (!records && !recording_option_.empty()) {
      Fail(recording_option_ + " only applies to recording, not to " + action_name_);
      return std::nullopt;
    }
    return line_;
  }

  bool WantsValue(const std::string& name) const {
    const Option* option = FindOption(name);
    return option && option->takes != Takes::Nothing;
  }

 private:
  bool SetAction(CommandLine::Action action, const std::string& name, const std::string& path) {
    if (line_.command) return Fail(action_name_ + " goes alone, without \"" + path + "\"");
    if (line_.file) return Fail("a second FILE: " + path);
    line_.action = action;
    line_.file = path;
    action_name_ = name;
    return true;
  }
  bool Fail(const std::string& reason) {
    error_ = reason;
    return false;
  }

  std::string& error_;
  CommandLine line_;
  std::string action_name_;
  std::string playback_option_;   // the last playback option given, for messages
  std::string recording_option_;  // the same for recording
};

}  // namespace

std::optional<CommandLine> ParseCommandLine(const std::vector<std::string>& args,
                                            std::string& error) {
  // Help or version asked for anywhere wins over whatever else the line says.
  for (const std::string& arg : args) {
    if (arg == "--") break;
    if (arg == "--help" || arg == "-h" || arg == "--version") {
      CommandLine line;
      line.action = arg == "--version" ? CommandLine::Action::Version : CommandLine::Action::Help;
      return line;
    }
  }
  Parser parser(error);
  bool options_end = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (options_end || arg.size() < 2 || arg[0] != '-') {
      if (!parser.File(arg)) return std::nullopt;
      continue;
    }
    if (arg == "--") {
      options_end = true;
      continue;
    }
    const size_t equals = arg.find('=');
    if (equals != arg.npos) {
      const std::string name = arg.substr(0, equals);
      if (FindOption(name) && !parser.WantsValue(name)) {
        error = name + " takes no value";
        return std::nullopt;
      }
      if (!parser.Take(name, arg.substr(equals + 1))) return std::nullopt;
      continue;
    }
    std::string value;
    if (parser.WantsValue(arg)) {
      // An option name is no value: "--play --repeat 2" lacks its FILE.
      if (i + 1 == args.size() || args[i + 1].rfind("--", 0) == 0) {
        error = arg + " needs " + std::string(FindOption(arg)->value);
        return std::nullopt;
      }
      value = args[++i];
    }
    if (!parser.Take(arg, value)) return std::nullopt;
  }
  return parser.Finish();
}

std::string UsageText(const std::string& program) {
  std::string text = "Usage: " + program +
                     " [OPTION]... [FILE]\n"
                     "Records what you do with the mouse and plays it back. FILE, a mouse motion "
                     "file\n(.mmf), is loaded at start-up.\n\n";
  auto line = [&](std::string option, std::string_view help) {
    // An option too long for the column has its help on the next line, in the column.
    constexpr size_t kColumn = 24;
    if (option.size() + 2 > kColumn) option += "\n" + std::string(kColumn + 2, ' ');
    option.resize(std::max(option.size(), kColumn), ' ');
    text += "  " + option;
    // Its further lines in the column too.
    for (size_t from = 0, end; from <= help.size(); from = end + 1) {
      end = std::min(help.find('\n', from), help.size());
      if (from > 0) text += "\n" + std::string(kColumn + 2, ' ');
      text.append(help.substr(from, end - from));
    }
    text += "\n";
  };
  for (const Option& o : kOptions)
    line(std::string(o.name) + (o.value.empty() ? "" : " ") + std::string(o.value), o.help);
  line("-h, --help", "print this help and exit");
  line("--version", "print the version and exit");
  return text +
         "An option's value may also follow an equals sign: --speed=2.\n"
         "\n"
         "A position recorded over a window plays at the same place in that window, wherever\n"
         "it stands now. The window is found by its class and title, else by its class alone\n"
         "when only one window of that class and of the recorded program is open; one not\n"
         "found plays where it was recorded.\n"
         "A recording keeps moves, clicks, drags (press, path with the button held, release),\n"
         "wheel steps and the side buttons, and plays each pause before its event; a click\n"
         "made in place stays one entry. Made with --every-event, it keeps every press and\n"
         "release apart, with delays to the microsecond.\n"
         "\n"
         "Keys, whichever window has the focus:\n"
         "  F10    start recording\n"
         "  F9     start playing\n"
         "  Pause  stop recording or playing\n"
         "  F12    show or hide the main window\n"
         "Where the keys cannot be read (a Wayland session) or from a script, a second start\n"
         "with --command does what the key does in the running instance; a desktop shortcut\n"
         "may run it: " +
         program +
         " --command record\n"
         "\n"
         "Exit status: 0 done, 1 a file could not be loaded or saved, 2 the command line was\n"
         "not understood, 3 playing was stopped by Pause or by the mouse, 4 an entry could not\n"
         "be played or the file holds none that can.\n"
         "--command: 0 done, 6 no instance runs, 7 the command does not apply now (record or\n"
         "play while playing, play while recording or with nothing to play, stop while idle,\n"
         "toggle-window in a --play or --record run; standard error says which), 8 the\n"
         "instance did not take it (no answer, or a version without commands); 5 record where\n"
         "the instance cannot record (the Wayland backend).\n";
}

int PrintMotionFileInfo(FileSystem& files, const std::string& path, std::string& out,
                        std::string& error) {
  const MotionFileInfo info = AnalyzeMotionFile(files, path);
  out = FormatMotionFileInfo(path, info);
  if (info.Playable()) return exit_status::kOk;
  error = info.problem.empty() ? "\"" + path + "\" holds no entry to play" : info.problem;
  return exit_status::kFailed;
}

}  // namespace pel
