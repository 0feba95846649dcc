// The reader of job texts, its lower half (jobs/JobTextRead.cpp only): the
// lines as the reader sees them (comments blanked, password references
// replaced), the extent of an embedded object block, and turning that
// block into an object.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/BaseObject.h"
#include "jobs/JobText.h"

namespace kv::jobtext {

// Names the text in errors and raises them.
class TJobTextContext {
public:
  explicit TJobTextContext(std::string source) : source_(std::move(source)) {}
  [[noreturn]] void Fail(int line, const std::string& reason) const { throw EJobTextError(source_, line, reason); }
  // A tokenizer or converter message ending "on line N", N counted from
  // `firstLine`; a message without it is put on `firstLine`.
  [[noreturn]] void FailParser(int firstLine, const std::string& message) const;

private:
  std::string source_;
};

// The lines of `text` (LF or CR LF ends) with comment lines made empty and
// every "Name = ${VAR}" password reference replaced by the quoted value of
// VAR from `env`. Raises for a reference to an unset variable, for one that
// stands for no password property, and for "${" anywhere else outside quotes.
std::vector<std::string> PrepareLines(std::string_view text, const TJobTextContext& ctx, const TEnvLookup& env);

// The index of the line holding the END that closes the object whose first
// line is `first` (indexes from 0).
int FindObjectEnd(const std::vector<std::string>& lines, int first, const TJobTextContext& ctx);

// Lines first..last, after `first` empty lines, so that the converter's
// line numbers are those of the whole text.
std::string BlockText(const std::vector<std::string>& lines, int first, int last);

// The object of one block (BlockText) that starts on `line`: converted,
// read, of class `expected` (else an error saying `what` must hold one),
// and naming no property its classes do not declare.
std::unique_ptr<TBaseObject> ReadTextObject(const std::string& blockText, int line, const TClassInfo* expected,
                                            const std::string& what, const TJobTextContext& ctx);

}  // namespace kv::jobtext
