#include "platform/wayland/sway_windows.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace pel {

namespace {

// The i3 IPC: "i3-ipc", the payload's length and the message type (native byte order), then
// the payload; events have the type's high bit set.
constexpr std::string_view kMagic = "i3-ipc";
constexpr size_t kHeader = 14;
constexpr uint32_t kGetTree = 4;
constexpr uint32_t kSubscribe = 2;
constexpr int kAnswerMs = 1000;
// No tree of a desktop comes near this; a longer answer is no answer.
constexpr uint32_t kLongestAnswer = 64u << 20;

// Just enough JSON for the tree: objects, arrays, strings, numbers, true, false, null.
struct Json {
  enum class Type { Null, Bool, Number, String, Array, Object } type = Type::Null;
  bool boolean = false;
  double number = 0;
  std::string text;
  std::vector<Json> items;
  std::vector<std::pair<std::string, Json>> members;

  const Json* Get(std::string_view key) const {
    for (const auto& [name, value] : members)
      if (name == key) return &value;
    return nullptr;
  }
  int32_t Int(std::string_view key) const {
    const Json* v = Get(key);
    return v && v->type == Type::Number ? static_cast<int32_t>(v->number) : 0;
  }
  std::string Text(std::string_view key) const {
    const Json* v = Get(key);
    return v && v->type == Type::String ? v->text : std::string();
  }
  bool True(std::string_view key) const {
    const Json* v = Get(key);
    return v && v->type == Type::Bool && v->boolean;
  }
};

class JsonReader {
 public:
  explicit JsonReader(std::string_view text) : s_(text) {}
  bool Read(Json& out) {
    if (!Value(out, 0)) return false;
    Blanks();
    return i_ == s_.size();
  }

 private:
  static constexpr int kDeepest = 256;  // the tree's nesting, with room to spare

  void Blanks() {
    while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\n' || s_[i_] == '\r' || s_[i_] == '\t'))
      ++i_;
  }
  bool Take(char c) {
    Blanks();
    if (i_ < s_.size() && s_[i_] == c) return ++i_, true;
    return false;
  }
  bool Word(std::string_view word) {
    if (s_.substr(i_, word.size()) != word) return false;
    i_ += word.size();
    return true;
  }
  bool Value(Json& out, int depth) {
    if (depth > kDeepest) return false;
    Blanks();
    if (i_ >= s_.size()) return false;
    const char c = s_[i_];
    if (c == '{') {
      ++i_;
      out.type = Json::Type::Object;
      if (Take('}')) return true;
      do {
        std::pair<std::string, Json> member;
        Blanks();
        if (!String(member.first) || !Take(':') || !Value(member.second, depth + 1)) return false;
        out.members.push_back(std::move(member));
      } while (Take(','));
      return Take('}');
    }
    if (c == '[') {
      ++i_;
      out.type = Json::Type::Array;
      if (Take(']')) return true;
      do {
        out.items.emplace_back();
        if (!Value(out.items.back(), depth + 1)) return false;
      } while (Take(','));
      return Take(']');
    }
    if (c == '"') return out.type = Json::Type::String, String(out.text);
    if (Word("true")) return out.type = Json::Type::Bool, out.boolean = true, true;
    if (Word("false")) return out.type = Json::Type::Bool, true;
    if (Word("null")) return true;
    const char* begin = s_.data() + i_;
    char* end = nullptr;
    const std::string number(begin, std::min<size_t>(s_.size() - i_, 64));
    out.number = std::strtod(number.c_str(), &end);
    if (end == number.c_str()) return false;
    out.type = Json::Type::Number;
    i_ += static_cast<size_t>(end - number.c_str());
    return true;
  }
  bool Hex4(uint32_t& code) {
    if (i_ + 4 > s_.size()) return false;
    code = 0;
    for (int k = 0; k < 4; ++k) {
      const char h = s_[i_++];
      const int v = h >= '0' && h <= '9'   ? h - '0'
                    : h >= 'a' && h <= 'f' ? h - 'a' + 10
                    : h >= 'A' && h <= 'F' ? h - 'A' + 10
                                           : -1;
      if (v < 0) return false;
      code = code * 16 + static_cast<uint32_t>(v);
    }
    return true;
  }
  static void Utf8(uint32_t code, std::string& out) {
    auto put = [&](uint32_t byte) { out.push_back(static_cast<char>(byte)); };
    if (code < 0x80) {
      put(code);
    } else if (code < 0x800) {
      put(0xC0 | (code >> 6));
      put(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      put(0xE0 | (code >> 12));
      put(0x80 | ((code >> 6) & 0x3F));
      put(0x80 | (code & 0x3F));
    } else {
      put(0xF0 | (code >> 18));
      put(0x80 | ((code >> 12) & 0x3F));
      put(0x80 | ((code >> 6) & 0x3F));
      put(0x80 | (code & 0x3F));
    }
  }
  bool String(std::string& out) {
    if (i_ >= s_.size() || s_[i_] != '"') return false;
    ++i_;
    while (i_ < s_.size()) {
      const char c = s_[i_++];
      if (c == '"') return true;
      if (c != '\\') {
        out.push_back(c);
        continue;
      }
      if (i_ >= s_.size()) return false;
      const char e = s_[i_++];
      switch (e) {
        case 'n':
          out.push_back('\n');
          break;
        case 't':
          out.push_back('\t');
          break;
        case 'r':
          out.push_back('\r');
          break;
        case 'b':
          out.push_back('\b');
          break;
        case 'f':
          out.push_back('\f');
          break;
        case 'u': {
          uint32_t code = 0;
          if (!Hex4(code)) return false;
          // A surrogate pair makes one character; a lone half stands for U+FFFD.
          if (code >= 0xD800 && code < 0xDC00 && s_.substr(i_, 2) == "\\u") {
            i_ += 2;
            uint32_t low = 0;
            if (!Hex4(low)) return false;
            code = low >= 0xDC00 && low < 0xE000
                       ? 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00)
                       : 0xFFFD;
          } else if (code >= 0xD800 && code < 0xE000) {
            code = 0xFFFD;
          }
          Utf8(code, out);
          break;
        }
        default:
          out.push_back(e);  // \" \\ \/
      }
    }
    return false;
  }

  std::string_view s_;
  size_t i_ = 0;
};

// Collects the windows under `node`: views (nodes with a pid) that are shown.
void Collect(const Json& node, bool floating, std::vector<std::pair<bool, TopWindow>>& out,
             std::vector<std::pair<bool, TopWindow>>& floats) {
  if (node.Get("pid") && node.True("visible")) {
    TopWindow w;
    w.id = static_cast<uint64_t>(node.Get("id") ? node.Get("id")->number : 0);
    w.class_name = node.Text("app_id");
    if (const Json* props = node.Get("window_properties"); w.class_name.empty() && props)
      w.class_name = props->Text("class");
    w.title = node.Text("name");
    const Json* rect = node.Get("rect");
    const Json* content = node.Get("window_rect");
    if (rect && content) {
      w.left = rect->Int("x") + content->Int("x");
      w.top = rect->Int("y") + content->Int("y");
      w.width = content->Int("width");
      w.height = content->Int("height");
    }
    (floating ? floats : out).emplace_back(node.True("focused"), std::move(w));
  }
  for (const char* kind : {"nodes", "floating_nodes"})
    if (const Json* children = node.Get(kind))
      for (const Json& child : children->items)
        Collect(child, floating || std::strcmp(kind, "floating_nodes") == 0, out, floats);
}

bool WriteAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// Reads exactly `size` bytes, waiting at most kAnswerMs for each part.
bool ReadAll(int fd, char* into, size_t size) {
  size_t done = 0;
  while (done < size) {
    pollfd in{fd, POLLIN, 0};
    const int ready = ::poll(&in, 1, kAnswerMs);
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return false;
    const ssize_t n = ::recv(fd, into + done, size - done, 0);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

std::string Message(uint32_t type, std::string_view payload) {
  std::string bytes(kMagic);
  const uint32_t length = static_cast<uint32_t>(payload.size());
  bytes.append(reinterpret_cast<const char*>(&length), 4);
  bytes.append(reinterpret_cast<const char*>(&type), 4);
  bytes.append(payload);
  return bytes;
}

int Connect(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) return -1;
  std::memcpy(address.sun_path, path.data(), path.size());
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return -1;
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// One answer on `fd`: its type and payload.
std::optional<std::pair<uint32_t, std::string>> ReadMessage(int fd) {
  char header[kHeader];
  if (!ReadAll(fd, header, kHeader) || std::string_view(header, kMagic.size()) != kMagic)
    return std::nullopt;
  uint32_t length = 0, type = 0;
  std::memcpy(&length, header + 6, 4);
  std::memcpy(&type, header + 10, 4);
  if (length > kLongestAnswer) return std::nullopt;
  std::string payload(length, '\0');
  if (!ReadAll(fd, payload.data(), length)) return std::nullopt;
  return std::pair{type, std::move(payload)};
}

}  // namespace

std::vector<TopWindow> WindowsInTree(std::string_view json) {
  Json tree;
  if (!JsonReader(json).Read(tree) || tree.type != Json::Type::Object) return {};
  std::vector<std::pair<bool, TopWindow>> tiled, floating;
  Collect(tree, false, tiled, floating);
  std::vector<TopWindow> windows;
  for (auto* group : {&floating, &tiled}) {
    std::stable_partition(group->begin(), group->end(), [](const auto& w) { return w.first; });
    for (auto& [focused, w] : *group) windows.push_back(std::move(w));
  }
  return windows;
}

std::unique_ptr<SwayWindows> SwayWindows::Open(std::string& error) {
  const char* path = std::getenv("SWAYSOCK");
  if (!path || !*path) path = std::getenv("I3SOCK");
  if (!path || !*path) {
    error = "SWAYSOCK is not set: no compositor IPC to read windows from";
    return nullptr;
  }
  const int query = Connect(path);
  const int events = query < 0 ? -1 : Connect(path);
  std::unique_ptr<SwayWindows> self;
  if (events >= 0) self.reset(new SwayWindows(query, events));
  // Subscribed, the event connection answers {"success": true} first.
  if (!self || !WriteAll(events, Message(kSubscribe, R"(["window"])")) || !ReadMessage(events)) {
    if (!self && query >= 0) ::close(query);
    error = std::string("the compositor's IPC at \"") + path + "\" does not answer";
    return nullptr;
  }
  return self;
}

SwayWindows::~SwayWindows() {
  ::close(query_);
  ::close(events_);
}

std::optional<std::string> SwayWindows::Ask(uint32_t type, std::string_view payload) {
  if (!WriteAll(query_, Message(type, payload))) return std::nullopt;
  std::optional<std::pair<uint32_t, std::string>> answer = ReadMessage(query_);
  if (!answer || answer->first != type) return std::nullopt;
  return std::move(answer->second);
}

std::vector<TopWindow> SwayWindows::List() {
  const std::optional<std::string> tree = Ask(kGetTree, "");
  return tree ? WindowsInTree(*tree) : std::vector<TopWindow>{};
}

std::optional<TopWindow> SwayWindows::WindowAt(Point at) {
  for (TopWindow& w : List())
    if (at.x >= w.left && at.y >= w.top && at.x < w.left + w.width && at.y < w.top + w.height)
      return std::move(w);
  return std::nullopt;
}

std::optional<TopWindow> SwayWindows::Find(uint64_t id) {
  for (TopWindow& w : List())
    if (w.id == id) return std::move(w);
  return std::nullopt;
}

uint64_t SwayWindows::Generation() {
  TakeChanges();
  return generation_;
}

bool SwayWindows::TakeChanges() {
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::recv(events_, buffer, sizeof buffer, MSG_DONTWAIT);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    pending_.append(buffer, static_cast<size_t>(n));
  }
  const uint64_t before = generation_;
  // Whole messages only; an event's payload is not needed, just that it came.
  while (pending_.size() >= kHeader) {
    uint32_t length = 0;
    std::memcpy(&length, pending_.data() + 6, 4);
    if (pending_.size() < kHeader + length) break;
    pending_.erase(0, kHeader + length);
    ++generation_;
  }
  return generation_ != before;
}

}  // namespace pel
