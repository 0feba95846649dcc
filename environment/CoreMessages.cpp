#include "environment/CoreMessages.h"

#include <iterator>

#include "environment/LanguageTranslate.h"

namespace kv {

// One line per message: name, English text, Simplified Chinese text.
#define KVCORE_MESSAGE_TABLE(X) \
  X(SLogType_Error, "Error", \
    "错误") \
  X(SLogType_Warning, "Warnint", \
    "警告") \
  X(SLogType_Information, "Information", \
    "信息") \
  X(SCheckStartExpSuc, "Check the start condition of DBLink:%s succeed!", \
    "检查数据链接:%s的开始条件成功!") \
  X(SCheckStartExpErr, "Find error while check the start condition of DBLink:%s!Error message:%s", \
    "检查数据链接:%s的开始条件时发现错误!错误信息:%s") \
  X(SCheckStopExpSuc, "Check the stop condition of DBLink:%s succeed!", \
    "检查数据链接:%s的停止条件成功!") \
  X(SCheckStopExpErr, "Find error while check the stop condition of DBLink:%s!Error message:%s", \
    "检查数据链接:%s的停止条件时发现错误!错误信息:%s") \
  X(SCheckFilterExpSuc, "Check the Filter condition of DBLink:%s succeed!", \
    "检查数据链接:%s的过滤条件成功!") \
  X(SCheckFilterExpErr, "Find error while check the Filter condition of DBLink:%s!Error message:%s", \
    "检查数据链接:%s的过滤条件时发现错误!错误信息:%s") \
  X(SCheckErrorExpSuc, "Check the Error condition of DBLink:%s succeed!", \
    "检查数据链接:%s的错误条件成功!") \
  X(SCheckErrorExpErr, "Find error while check the Error condition of DBLink:%s!Error message:%s", \
    "检查数据链接:%s的错误条件时发现错误!错误信息:%s") \
  X(SCheckPauseExpSuc, "Check the Pause condition of DBLink:%s succeed!", \
    "检查数据链接:%s的暂停条件成功!") \
  X(SCheckPauseExpErr, "Find error while check the Pause condition of DBLink:%s!Error message:%s", \
    "检查数据链接:%s的暂停条件时发现错误!错误信息:%s") \
  X(SCheckAllFieldExpSuc, "Check the Target field calculate expressions of dblink:%s succeed!", \
    "检查数据链接:%s的目标字段计算表达式成功!") \
  X(SCheckFieldExpSuc, "Check the Target DataSet Field:%s calculate formula of DBLink:%s succeed!", \
    "检查目标数据集字段:%s在数据链接:%s中的计算公式成功!") \
  X(SCheckFieldExpErr, "Find error while check the Target DataSet Field:%s calculate formula of DBLink:%s!Error message:%s", \
    "检查目标数据集字段:%s在数据链接:%s中的计算公式时发现错误!错误信息:%s") \
  X(SCheckAfterExecExpSuc, "Check the AfterExecute condition of Job:%s succeed!", \
    "检查作业:%s的执行后条件成功!") \
  X(SCheckAfterExecExpErr, "Find error while check the AfterExecute condition of Job:%s!Error message:%s", \
    "检查作业:%s的执行后条件时发现错误!错误信息:%s") \
  X(SCheckBeforeExecExpSuc, "Check the BeforeExecute condition of Job:%s succeed!", \
    "检查作业:%s的执行前条件成功!") \
  X(SCheckBeforeExecExpErr, "Find error while check the BeforeExecute condition of Job:%s!Error message:%s", \
    "检查作业:%s的执行前条件时发现错误!错误信息:%s") \
  X(ValidateExpErr, "Find error while checking expression. Error:%s ", \
    "检查表达式时发现错误。错误:%s ") \
  X(SPropertyError, "Property:%s wasn't specified.", \
    "属性:%s没有指定。") \
  X(SImportFinished, "The data importing successfuly is finished.", \
    "数据导入成功完成。") \
  X(SImportError, "Error of data import.", \
    "数据导入错误。") \
  X(EDataSetCanotBeDest, "DataSet:%s canot be target!", \
    "数据集:%s不能作为目标!") \
  X(SImporting, "Importing...", \
    "正在导入...") \
  X(SAllFiles, "All files (*.*)|*.*", \
    "所有文件 (*.*)|*.*") \
  X(STrue, "True", \
    "True") \
  X(SFalse, "False", \
    "False") \
  X(SSelectFolder, "Select path", \
    "选择路径") \
  X(SSureCloseJobDesigner, "Quit model editor?", \
    "退出模型编辑器吗?") \
  X(SSureCloseMapping, "Be sure to quit?", \
    "确定要退出吗?") \
  X(SSureCloseMainForm, "Some jobs are in running,be sure to quit?", \
    "有作业正在运行,确定要退出吗?") \
  X(SMainFormStatusAddMsg, "Added:%d", \
    "添加:%d") \
  X(SMainFormStatusDeleteMsg, "Deleted:%d", \
    "删除:%d") \
  X(SMainFormStatusUpdateMsg, "Update:%d", \
    "更新:%d") \
  X(SMainFormStatusErrorMsg, "Errors:%d", \
    "错误:%d") \
  X(SDBLinkPropertyFieldParam, "Param", \
    "参数") \
  X(SDBLinkPropertyFieldValue, "Value", \
    "值") \
  X(SDBLinkProperty_DestDatabaseName, "Target Database Name", \
    "目标数据库名") \
  X(SDBLinkProperty_SourceDatabaseName, "Source Database Name", \
    "源数据库名") \
  X(SDBLinkProperty_ErrorDataRows, "Error data rows", \
    "错误数据行数") \
  X(SDBLinkProperty_SourceDataRows, "Source data rows", \
    "源数据行数") \
  X(SDBLinkProperty_SourceDataType, "Source data type", \
    "源数据类型") \
  X(SDBLinkProperty_Orgin, "Orgin", \
    "来源") \
  X(SDBLinkProperty_ErrorData, "Error data", \
    "错误数据") \
  X(SJobDesignerFrmName, "Design job: %s", \
    "设计作业: %s") \
  X(SDBLinkImportData, "%s: Preview Import Data", \
    "%s: 预览导入数据") \
  X(SDBLinkErrorMsg, "DBLink:%s error:%s", \
    "数据链接:%s 错误:%s") \
  X(SDBLinkFindErrorMsg, "DBLink:%s find error.", \
    "数据链接:%s 发现错误。") \
  X(SDBLinkLoadErrorMsg, "DBLink:%s load record error", \
    "数据链接:%s 装载记录错误") \
  X(SDBLinkNoKeyIndexMsg, "DBLink:%s: the destination has no index on its key fields %s; every record is located by scanning the table", \
    "数据链接:%s: 目标表的关键字段 %s 没有索引; 每条记录都要扫描整个表来定位") \
  X(SDBLinkStopMsg, "DBLink:%s stop.", \
    "数据链接:%s 停止。") \
  X(SDBLinkPauseMsg, "DBLink:%s pause.", \
    "数据链接:%s 暂停。") \
  X(SDBLinkStartMsg, "DBLink:%s start.", \
    "数据链接:%s 开始。") \
  X(SDBLinkFinishedMsg, "DBLink:%s finished.", \
    "数据链接:%s 完成。") \
  X(SDBLinkStartConvert, "DBLink:%s start convert.", \
    "数据链接:%s 开始转换。") \
  X(SDBLinkEndConvert, "DBLink:%s convert complete.", \
    "数据链接:%s 转换完成。") \
  X(SDBLinkDebugingMsg, "DBLink:%s is debuging.", \
    "数据链接:%s 正在调试。") \
  X(SDBLinkWillPauseMsg, "Pause the dblink:%s", \
    "暂停数据链接:%s") \
  X(SDBLinkWillStopMsg, "You will stop dblink:%s", \
    "您将停止数据链接:%s") \
  X(SDBLinkAlreadyExist, "A dblink %s already exist", \
    "数据链接%s已经存在") \
  X(SDBLinkName, "DBLink:%s:  ", \
    "数据链接:%s:  ") \
  X(SDBLinkOpeningSourceDataSetMsg, "Opening source database of dblink:%s.", \
    "正在打开数据链接:%s的源数据库。") \
  X(SDBLinkOpenedSourceDataSetMsg, "Open source source of dblink:%s success.", \
    "成功打开数据链接:%s的源数据库。") \
  X(SDBLinkOpeningDestDataSetMsg, "Opening Target database of dblink:%s.", \
    "正在打开数据链接:%s的目标数据库。") \
  X(SDBLinkOpenedDestDataSetMsg, "Open source Target of dblink:%s success.", \
    "成功打开数据链接:%s的目标数据库。") \
  X(SDBLinkFindErrWhenImportIntoTableMsg, "Error found when importing into table:%s\rInfo: %s,\r\ndo you want view the message next time?", \
    "导入表:%s时发现错误\r信息: %s,\r\n下次还要查看此消息吗?") \
  X(SDBLinkNoDefineMaping, "You have no define field Mapping, thejob canot run.", \
    "您没有定义字段映射,作业不能运行。") \
  X(SDataSetAlreadyExist, "A dataset %s already exist", \
    "数据集%s已经存在") \
  X(SDataSetMustSetKey, "You must set the key of dataset:%s!", \
    "必须设置数据集:%s的关键字!") \
  X(SSourceDataSetAlreadyBrowseRows, "Now source dataset browse %d rows", \
    "源数据集现已浏览%d行") \
  X(SDataSetFieldName, "Field name", \
    "字段名") \
  X(SDataSetFieldKey, "Key", \
    "关键字") \
  X(SDataSetFieldDataType, "Data type", \
    "数据类型") \
  X(SDataSetFieldLength, "Length", \
    "长度") \
  X(SDataSetFieldPrecision, "Precision", \
    "精度") \
  X(SDataSetFieldNull, "Null", \
    "允许空") \
  X(SDataSetField, "Field", \
    "字段") \
  X(SDataSetFieldOrigin, "Origin", \
    "来源") \
  X(SJobErrorMsg, "Job:%s error:%s", \
    "作业:%s 错误:%s") \
  X(SJobAlreadyExist, "A job %s already exist", \
    "作业%s已经存在") \
  X(SJobDeleteMsg, "Delete job:%s", \
    "删除作业:%s") \
  X(SJobStopMsg, "Job:%s stop.", \
    "作业:%s 停止。") \
  X(SJobPauseMsg, "Job:%s pause.", \
    "作业:%s 暂停。") \
  X(SJobStartMsg, "Job:%s start.", \
    "作业:%s 开始。") \
  X(SJobFinishedMsg, "Job:%s finished.", \
    "作业:%s 完成。") \
  X(SJobDebugingMsg, "Job:%s is debuging.", \
    "作业:%s 正在调试。") \
  X(SJobFindErrorMsg, "Job:%s find error.", \
    "作业:%s 发现错误。") \
  X(SJobWillPauseMsg, "you sure pause the selected job?", \
    "确定要暂停选定的作业吗?") \
  X(SJobWillStopMsg, "you sure stop the selected job?", \
    "确定要停止选定的作业吗?") \
  X(SKVJobProFormName, "%s: Job Property", \
    "%s: 作业属性") \
  X(SKVMapingFormName, "Set %s Fields Mapping", \
    "设置%s的字段映射") \
  X(SKVDBLinkProFormName, "Set DBLink: %s Property", \
    "设置数据链接: %s 的属性") \
  X(SKVFileDataSetDlgName, "Set %s: Text File DataSet Property", \
    "设置%s: 文本文件数据集属性") \
  X(SKVQueryDataSetFormName, "Query:%s Dataset Property", \
    "查询:%s 数据集属性") \
  X(SKVTableDataSetFormName, "Table:%s Property", \
    "表:%s 属性") \
  X(SKVODBCDataSetFormName, "Set property of ODBC table :%s", \
    "设置ODBC表:%s的属性") \
  X(SKVFileDBDataSetFormName, "Set property of text table :%s", \
    "设置文本表:%s的属性") \
  X(SKVOracleDataSetFormName, "Set property of Oracle table :%s", \
    "设置Oracle表:%s的属性") \
  X(SKVDataSetNoDefineFields, "Have no Field define!", \
    "没有定义字段!") \
  X(SDebugFormName, "Debug DBLinks of Job:%s", \
    "调试作业:%s的数据链接") \
  X(SErrorDataFormName, "Manage Error Data of DBLink:%s", \
    "管理数据链接:%s的错误数据") \
  X(SExceedMaxJobs, "Exceed then max jobs limit.", \
    "超出最大作业数限制。") \
  X(SValidateOk, "Validate ok!", \
    "校验成功!") \
  X(SValidateError2, "Validate error! please view log in main window", \
    "校验错误! 请查看主窗口中的日志") \
  X(SExpressionError, "Expression: %s error", \
    "表达式: %s 错误") \
  X(STextDataSetHaveSomeField, "There are %d fields in the current dataset according to the specified configuration.\r\nDo you wish to continue loading?", \
    "There are %d fields in the current dataset according to the specified configuration.\r\nDo you wish to continue loading?") \
  X(SDateFormatString, "mm-dd-yyyy", \
    "yyyy.mm.dd") \
  X(SDateTimeFormatString, "mm-dd-yyyy hh:mm:ss", \
    "yyyy.mm.dd hh:mm:ss") \
  X(STimeFormatString, "hh:mm:ss", \
    "hh:mm:ss")

#define KV_DEFINE_MESSAGE(name, english, chinese) TMessage name{#name, english};
KVCORE_MESSAGE_TABLE(KV_DEFINE_MESSAGE)
#undef KV_DEFINE_MESSAGE

namespace {

struct TMessageTexts {
  TMessage* message;
  const char* text[2];  // indexed by TLanguageType
};

#define KV_MESSAGE_ENTRY(name, english, chinese) {&name, {english, chinese}},
constexpr TMessageTexts kTable[] = {KVCORE_MESSAGE_TABLE(KV_MESSAGE_ENTRY)};
#undef KV_MESSAGE_ENTRY

void AssignCoreMessages(TLanguageType language) {
  for (const TMessageTexts& t : kTable) t.message->Set(t.text[language]);
}

}  // namespace

TLanguageType KVLanguageType = ltEnglish;

const std::vector<TMessage*>& KVCoreMessages() {
  static const std::vector<TMessage*> all = [] {
    std::vector<TMessage*> v;
    v.reserve(std::size(kTable));
    for (const TMessageTexts& t : kTable) v.push_back(t.message);
    return v;
  }();
  return all;
}

const char* CoreMessageText(const TMessage& message, TLanguageType language) noexcept {
  if (language != ltEnglish && language != ltSimpleChinese) return nullptr;
  for (const TMessageTexts& t : kTable)
    if (t.message == &message) return t.text[language];
  return nullptr;
}

void KVSetEnglish() {
  SetWindowTranslationLanguage(ltEnglish);
  AssignCoreMessages(ltEnglish);
}

void KVSetChineseSimp() {
  SetWindowTranslationLanguage(ltSimpleChinese);
  AssignCoreMessages(ltSimpleChinese);
}

void KVSetLanguage(TLanguageType language) {
  // Anything but Chinese is treated as English.
  if (language != ltSimpleChinese) language = ltEnglish;
  KVLanguageType = language;
  if (language == ltSimpleChinese) {
    KVSetKVLibChineseSimp();
    KVSetChineseSimp();
  } else {
    KVSetKVLibEnglish();
    KVSetEnglish();
  }
}

namespace {
// The library starts in English. This runs after the message variables above
// are constructed (same source file, later in it).
[[maybe_unused]] const bool kEnglishAtLoad = (KVSetLanguage(ltEnglish), true);
}  // namespace

}  // namespace kv
