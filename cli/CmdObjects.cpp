// dump and text2bin: the object stream as text and back.
#include <iostream>

#include "CliCommand.h"
#include "foundation/Exceptions.h"
#include "foundation/ObjectText.h"
#include "foundation/Streams.h"

namespace cli {
namespace {

std::string ReadFile(const std::string& path) {
  kv::TMemoryStream m;
  m.LoadFromFile(path);
  return m.Bytes();
}

int RunDump(const std::vector<std::string>& args) {
  if (args.size() != 1) throw UsageError{"expected one FILE"};
  const std::string& file = args[0];
  std::string text;
  try {
    text = kv::ObjectBinaryToText(ReadFile(file));
  } catch (const kv::Exception& e) {
    throw kv::Exception(file + ": " + e.Message());
  }
  std::cout << text;
  return kExitOk;
}

int RunText2Bin(const std::vector<std::string>& args) {
  if (args.size() != 2) throw UsageError{"expected IN and OUT"};
  const std::string& in = args[0];
  const std::string& out = args[1];
  std::string binary;
  try {
    binary = kv::ObjectTextToBinary(ReadFile(in));
  } catch (const kv::Exception& e) {
    throw kv::Exception(in + ": " + e.Message());
  }
  try {
    kv::TFileStream f(out, kv::fmCreate);
    f.WriteString(binary);
  } catch (const kv::Exception& e) {
    throw kv::Exception(out + ": " + e.Message());
  }
  return kExitOk;
}

const CommandRegistrar dump{Command{
    "dump", "dump FILE",
    "Prints any object stream (a settings file, a job file, an error-record file...)\n"
    "as indented text: class, object name, each property with its value, children nested.",
    10, RunDump}};

const CommandRegistrar text2bin{Command{
    "text2bin", "text2bin IN OUT",
    "Converts the text form that dump prints back into the binary object stream.\n"
    "dump followed by text2bin reproduces a file byte for byte.",
    11, RunText2Bin}};

}  // namespace
}  // namespace cli
