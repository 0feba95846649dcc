// The compiled form of one DB link run (internal to jobs/): the mapping
// entries with their source fields or translated expressions and their
// bound destination fields, the key entries, and the translated
// conditions. Built once per run, after the datasets have opened, so that
// the record loop neither translates nor looks names up.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "data/Variant.h"
#include "expression/Expression.h"

namespace kv {

class TField;

// One FieldValues entry.
struct TMapEntry {
  std::string field;  // destination field name, trimmed and upper-cased
  std::string text;   // the expression text, trimmed
  TVariant value;     // computed for the current record
  TField* source = nullptr;            // the source field the text names, or null
  int textIndex = -1;                  // its index when it reads as its text (a text kind)
  std::unique_ptr<TExpression> tree;   // otherwise the translated text
  TField* dest = nullptr;              // the destination field of that name, or null
};

// One KeyValues entry: a DatasetKeys item that has a mapping line.
struct TKeyEntry {
  std::string item;
  std::string text;
  size_t valueIndex = 0;  // the first field entry of the same name
};

struct TRunPlan {
  std::vector<TMapEntry> values;
  std::vector<TKeyEntry> keys;
  bool keysNull = true;  // KeyValues is Null (no locate in this mode)
  bool keysLoaded = false;  // the key entries carry their computed values (key modes)
  std::unique_ptr<TExpression> start, stop, filter, pause, error;
  TVariant keyValue;  // the value handed to LocateRecord, reused from record to record
  // The destination field of each entry and a row of values handed to
  // AppendRecord (reused from record to record).
  std::vector<TField*> destFields;
  std::vector<TVariant> row;
};

}  // namespace kv
