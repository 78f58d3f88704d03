#pragma once
// Process-level services of the program shell: the single-instance rule, the web browser and
// the end of the program.

#include <string>

namespace pel {

class Shell {
 public:
  virtual ~Shell() = default;
  // True when another instance of this program already runs for the same user (other users'
  // instances do not count). The instance is claimed for this process until it ends, by the
  // first call or by the program before it; a claim left behind by an instance that crashed or
  // was killed does not count. Where the claim cannot be checked, the program either refuses
  // to start before asking or counts it as "no other instance".
  virtual bool PreviousInstance() = 0;
  // Opens `url` in the user's web browser and returns without waiting for it (Windows: the
  // shell's default handler, minimised window; Linux: xdg-open). Throws pel::Error when the
  // browser cannot be started.
  virtual void OpenUrl(const std::string& url) = 0;
  // Ends the program at once: every window closes and every timer stops without further
  // events; no question is asked and nothing is saved. Does not return in the real programs.
  virtual void EndProgram() = 0;
};

// A shell whose program claimed the instance before its window existed: it gives that answer.
class ClaimedShell : public Shell {
 public:
  // `previous`: whether another instance of this user runs (ClaimInstance found it).
  explicit ClaimedShell(bool previous) : previous_(previous) {}
  bool PreviousInstance() final { return previous_; }

 private:
  bool previous_;
};

}  // namespace pel
