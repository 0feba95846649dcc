// The core library's message variables and the switch between the two
// languages of the user interface. Every message exists in English and in
// Simplified Chinese; the English texts are in force from the moment the
// library is loaded. Texts are formatted with printf-like placeholders
// (%s text, %d integer, %f real) through kv::Format.
#pragma once

#include <cstdint>
#include <vector>

#include "KVCore_export.h"
#include "foundation/LibMessages.h"

namespace kv {

enum TLanguageType : uint8_t { ltEnglish = 0, ltSimpleChinese = 1 };

// The language in force. Written by the main thread only, before jobs run.
extern KVCORE_EXPORT TLanguageType KVLanguageType;

// Stores the language in KVLanguageType and switches the foundation-library
// messages, the window translation table and the core messages to it.
KVCORE_EXPORT void KVSetLanguage(TLanguageType language);
// Make the language's window translation table the one in force (refilling it
// from its stored text) and assign every core message its text.
KVCORE_EXPORT void KVSetEnglish();
KVCORE_EXPORT void KVSetChineseSimp();

// Every core message, in table order.
KVCORE_EXPORT const std::vector<TMessage*>& KVCoreMessages();
// The text of a core message in a language, whatever language is in force;
// null when `message` is not a core message.
KVCORE_EXPORT const char* CoreMessageText(const TMessage& message, TLanguageType language) noexcept;

// ---- Log record types ----
extern KVCORE_EXPORT TMessage SLogType_Error;
extern KVCORE_EXPORT TMessage SLogType_Warning;
extern KVCORE_EXPORT TMessage SLogType_Information;

// ---- Checking conditions and field mappings ----
extern KVCORE_EXPORT TMessage SCheckStartExpSuc;
extern KVCORE_EXPORT TMessage SCheckStartExpErr;
extern KVCORE_EXPORT TMessage SCheckStopExpSuc;
extern KVCORE_EXPORT TMessage SCheckStopExpErr;
extern KVCORE_EXPORT TMessage SCheckFilterExpSuc;
extern KVCORE_EXPORT TMessage SCheckFilterExpErr;
extern KVCORE_EXPORT TMessage SCheckErrorExpSuc;
extern KVCORE_EXPORT TMessage SCheckErrorExpErr;
extern KVCORE_EXPORT TMessage SCheckPauseExpSuc;
extern KVCORE_EXPORT TMessage SCheckPauseExpErr;
extern KVCORE_EXPORT TMessage SCheckAllFieldExpSuc;
extern KVCORE_EXPORT TMessage SCheckFieldExpSuc;
extern KVCORE_EXPORT TMessage SCheckFieldExpErr;
extern KVCORE_EXPORT TMessage SCheckAfterExecExpSuc;
extern KVCORE_EXPORT TMessage SCheckAfterExecExpErr;
extern KVCORE_EXPORT TMessage SCheckBeforeExecExpSuc;
extern KVCORE_EXPORT TMessage SCheckBeforeExecExpErr;

// ---- Imports, general texts and confirmations ----
extern KVCORE_EXPORT TMessage ValidateExpErr;
extern KVCORE_EXPORT TMessage SPropertyError;
extern KVCORE_EXPORT TMessage SImportFinished;
extern KVCORE_EXPORT TMessage SImportError;
extern KVCORE_EXPORT TMessage EDataSetCanotBeDest;
extern KVCORE_EXPORT TMessage SImporting;
extern KVCORE_EXPORT TMessage SAllFiles;
extern KVCORE_EXPORT TMessage STrue;
extern KVCORE_EXPORT TMessage SFalse;
extern KVCORE_EXPORT TMessage SSelectFolder;
extern KVCORE_EXPORT TMessage SSureCloseJobDesigner;
extern KVCORE_EXPORT TMessage SSureCloseMapping;
extern KVCORE_EXPORT TMessage SSureCloseMainForm;

// ---- Main window counters and the DB link property list ----
extern KVCORE_EXPORT TMessage SMainFormStatusAddMsg;
extern KVCORE_EXPORT TMessage SMainFormStatusDeleteMsg;
extern KVCORE_EXPORT TMessage SMainFormStatusUpdateMsg;
extern KVCORE_EXPORT TMessage SMainFormStatusErrorMsg;
extern KVCORE_EXPORT TMessage SDBLinkPropertyFieldParam;
extern KVCORE_EXPORT TMessage SDBLinkPropertyFieldValue;
extern KVCORE_EXPORT TMessage SDBLinkProperty_DestDatabaseName;
extern KVCORE_EXPORT TMessage SDBLinkProperty_SourceDatabaseName;
extern KVCORE_EXPORT TMessage SDBLinkProperty_ErrorDataRows;
extern KVCORE_EXPORT TMessage SDBLinkProperty_SourceDataRows;
extern KVCORE_EXPORT TMessage SDBLinkProperty_SourceDataType;
extern KVCORE_EXPORT TMessage SDBLinkProperty_Orgin;
extern KVCORE_EXPORT TMessage SDBLinkProperty_ErrorData;
extern KVCORE_EXPORT TMessage SJobDesignerFrmName;

// ---- DB links ----
extern KVCORE_EXPORT TMessage SDBLinkImportData;
extern KVCORE_EXPORT TMessage SDBLinkErrorMsg;
extern KVCORE_EXPORT TMessage SDBLinkFindErrorMsg;
extern KVCORE_EXPORT TMessage SDBLinkLoadErrorMsg;
extern KVCORE_EXPORT TMessage SDBLinkNoKeyIndexMsg;
extern KVCORE_EXPORT TMessage SDBLinkStopMsg;
extern KVCORE_EXPORT TMessage SDBLinkPauseMsg;
extern KVCORE_EXPORT TMessage SDBLinkStartMsg;
extern KVCORE_EXPORT TMessage SDBLinkFinishedMsg;
extern KVCORE_EXPORT TMessage SDBLinkStartConvert;
extern KVCORE_EXPORT TMessage SDBLinkEndConvert;
extern KVCORE_EXPORT TMessage SDBLinkDebugingMsg;
extern KVCORE_EXPORT TMessage SDBLinkWillPauseMsg;
extern KVCORE_EXPORT TMessage SDBLinkWillStopMsg;
extern KVCORE_EXPORT TMessage SDBLinkAlreadyExist;
extern KVCORE_EXPORT TMessage SDBLinkName;
extern KVCORE_EXPORT TMessage SDBLinkOpeningSourceDataSetMsg;
extern KVCORE_EXPORT TMessage SDBLinkOpenedSourceDataSetMsg;
extern KVCORE_EXPORT TMessage SDBLinkOpeningDestDataSetMsg;
extern KVCORE_EXPORT TMessage SDBLinkOpenedDestDataSetMsg;
extern KVCORE_EXPORT TMessage SDBLinkFindErrWhenImportIntoTableMsg;
extern KVCORE_EXPORT TMessage SDBLinkNoDefineMaping;

// ---- Datasets ----
extern KVCORE_EXPORT TMessage SDataSetAlreadyExist;
extern KVCORE_EXPORT TMessage SDataSetMustSetKey;
extern KVCORE_EXPORT TMessage SSourceDataSetAlreadyBrowseRows;
extern KVCORE_EXPORT TMessage SDataSetFieldName;
extern KVCORE_EXPORT TMessage SDataSetFieldKey;
extern KVCORE_EXPORT TMessage SDataSetFieldDataType;
extern KVCORE_EXPORT TMessage SDataSetFieldLength;
extern KVCORE_EXPORT TMessage SDataSetFieldPrecision;
extern KVCORE_EXPORT TMessage SDataSetFieldNull;
extern KVCORE_EXPORT TMessage SDataSetField;
extern KVCORE_EXPORT TMessage SDataSetFieldOrigin;
extern KVCORE_EXPORT TMessage SJobErrorMsg;

// ---- Jobs ----
extern KVCORE_EXPORT TMessage SJobAlreadyExist;
extern KVCORE_EXPORT TMessage SJobDeleteMsg;
extern KVCORE_EXPORT TMessage SJobStopMsg;
extern KVCORE_EXPORT TMessage SJobPauseMsg;
extern KVCORE_EXPORT TMessage SJobStartMsg;
extern KVCORE_EXPORT TMessage SJobFinishedMsg;
extern KVCORE_EXPORT TMessage SJobDebugingMsg;
extern KVCORE_EXPORT TMessage SJobFindErrorMsg;
extern KVCORE_EXPORT TMessage SJobWillPauseMsg;
extern KVCORE_EXPORT TMessage SJobWillStopMsg;
extern KVCORE_EXPORT TMessage SKVJobProFormName;

// ---- Window captions ----
extern KVCORE_EXPORT TMessage SKVMapingFormName;
extern KVCORE_EXPORT TMessage SKVDBLinkProFormName;
extern KVCORE_EXPORT TMessage SKVFileDataSetDlgName;
extern KVCORE_EXPORT TMessage SKVQueryDataSetFormName;
extern KVCORE_EXPORT TMessage SKVTableDataSetFormName;
extern KVCORE_EXPORT TMessage SKVODBCDataSetFormName;
extern KVCORE_EXPORT TMessage SKVFileDBDataSetFormName;
extern KVCORE_EXPORT TMessage SKVOracleDataSetFormName;
extern KVCORE_EXPORT TMessage SKVDataSetNoDefineFields;
extern KVCORE_EXPORT TMessage SDebugFormName;
extern KVCORE_EXPORT TMessage SErrorDataFormName;

// ---- Validation, expressions and formats ----
extern KVCORE_EXPORT TMessage SExceedMaxJobs;
extern KVCORE_EXPORT TMessage SValidateOk;
extern KVCORE_EXPORT TMessage SValidateError2;
extern KVCORE_EXPORT TMessage SExpressionError;
extern KVCORE_EXPORT TMessage STextDataSetHaveSomeField;
extern KVCORE_EXPORT TMessage SDateFormatString;
extern KVCORE_EXPORT TMessage SDateTimeFormatString;
extern KVCORE_EXPORT TMessage STimeFormatString;

}  // namespace kv
