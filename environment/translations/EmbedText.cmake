# vandrel_embed_text(<input file> <symbol suffix> <output .cpp>)
#
# Writes a C++ source that holds the bytes of <input file> as
#   const unsigned char kv::kvTranslationText_<suffix>[]  (followed by a NUL)
#   const std::size_t   kv::kvTranslationSize_<suffix>    (without the NUL)
# The source is produced while configuring and rewritten only when its
# content changes; editing the input file re-runs the configuration.
function(vandrel_embed_text input suffix output)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${input}")
  file(READ "${input}" hex HEX)
  string(LENGTH "${hex}" hexLength)
  math(EXPR size "${hexLength} / 2")
  # Two hex digits per byte; 16 bytes per line.
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(REPEAT "0x[0-9a-f][0-9a-f]," 16 line)
  string(REGEX REPLACE "(${line})" "\\1\n    " bytes "${bytes}")
  get_filename_component(name "${input}" NAME)
  set(content "// Generated from ${name} while configuring the build; edit ${name} instead.
#include <cstddef>

namespace kv {

extern const unsigned char kvTranslationText_${suffix}[];
extern const std::size_t kvTranslationSize_${suffix};

const unsigned char kvTranslationText_${suffix}[] = {
    ${bytes}0x00};
const std::size_t kvTranslationSize_${suffix} = ${size};

}  // namespace kv
")
  file(CONFIGURE OUTPUT "${output}" CONTENT "${content}" @ONLY)
endfunction()
