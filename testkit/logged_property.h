#pragma once
// Properties of the window fakes: failures on demand and the logged reads and writes.

#include <set>
#include <string>
#include <utility>

#include "platform/error.h"
#include "testkit/call_log.h"

namespace pel::fake {

// Shared failure switch: a call whose "<object>.<Member>" is in the set throws.
struct FailSwitch {
  std::set<std::string> failing;
  void Check(const std::string& call) const {
    if (failing.count(call)) throw Error(err::kInvalidProcedureCall, "Fake failure in " + call);
  }
};

// A value as the log shows it.
inline std::string Shown(bool b) {
  return b ? "true" : "false";
}
inline std::string Shown(int v) {
  return std::to_string(v);
}

// Every property of the fakes: a read checks "<name>.<Member>"; a write checks
// "<name>.Set<Member>", stores the value and logs "<name>.<Member> <shown>".
template <class T>
T ReadProperty(const FailSwitch& fail, const std::string& name, const char* member,
               const T& field) {
  fail.Check(name + "." + member);
  return field;
}
template <class T>
void WriteProperty(const FailSwitch& fail, CallLog* log, const std::string& name,
                   const char* member, T& field, T value, const std::string& shown) {
  fail.Check(name + ".Set" + member);
  field = std::move(value);
  if (log) log->Add(name + "." + member + " " + shown);
}

}  // namespace pel::fake
