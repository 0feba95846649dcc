// Feeds arbitrary text to the text-to-binary converter. Whatever converts
// must survive the trip binary -> text -> binary unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "foundation/Exceptions.h"
#include "foundation/ObjectText.h"

using namespace kv;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  std::string binary;
  try {
    binary = ObjectTextToBinary(text);
  } catch (const Exception&) {
    return 0;
  }
  std::string back;
  try {
    back = ObjectTextToBinary(ObjectBinaryToText(binary));
  } catch (const Exception&) {
    std::abort();
  }
  if (back != binary) std::abort();
  return 0;
}
