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
  bool showPasswords = false;
  std::vector<std::string> files;
  for (const std::string& a : args) {
    if (a == "--show-passwords")
      showPasswords = true;
    else if (!a.empty() && a[0] == '-' && a != "-")
      throw UsageError{"unknown option \"" + a + "\""};
    else
      files.push_back(a);
  }
  if (files.size() != 1) throw UsageError{"expected one FILE"};
  const std::string& file = files[0];
  std::string text;
  try {
    const std::string binary = ReadFile(file);
    text = showPasswords ? kv::ObjectBinaryToText(binary) : kv::ObjectBinaryToTextHidingPasswords(binary);
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
    const std::string text = ReadFile(in);
    if (kv::HoldsHiddenPassword(text))
      throw kv::Exception("a password was hidden when this text was dumped; dump the file again with "
                          "--show-passwords to convert it back");
    binary = kv::ObjectTextToBinary(text);
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
    "dump", "dump FILE [--show-passwords]",
    "Prints any object stream (a settings file, a job file, an error-record file...)\n"
    "as indented text: class, object name, each property with its value, children nested.\n"
    "The value of every property whose name holds \"password\" is printed as\n"
    "<hidden password> unless --show-passwords is given; text2bin refuses such a text.",
    10, RunDump}};

const CommandRegistrar text2bin{Command{
    "text2bin", "text2bin IN OUT",
    "Converts the text form that dump prints back into the binary object stream.\n"
    "dump --show-passwords followed by text2bin reproduces a file byte for byte (so does\n"
    "dump alone for a file that holds no password).",
    11, RunText2Bin}};

}  // namespace
}  // namespace cli
