#include "engine/recorder.h"

namespace pel {

// Placeholder until the motion file lands.
void mVazazEzerev::SaveDataToFile() {}
void mVazazEzerev::LoadDataFromFile(const std::string&) {}

}  // namespace pel
