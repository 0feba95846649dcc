#include "environment/Tips.h"

#include "environment/CoreMessages.h"

namespace kv {

namespace {

constexpr const char* kEnglishTips[] = {
    "Jobs and DB links\n"
    "A job holds datasets and the DB links between them. Each DB link moves the records of one source "
    "dataset into one target dataset; draw it as an arrow between two shapes in the job designer.",

    "Field mappings\n"
    "Every target field is computed by an expression over the source fields and the variables. Auto Match "
    "in the mapping editor pairs fields with equal or similar names for you.",

    "Expressions and functions\n"
    "The expression language offers more than two hundred functions for numbers, text, dates, conversions "
    "and databases. Press Validate in the expression editor to check an expression before the job runs.",

    "Conditions\n"
    "A DB link can carry start, stop, pause, filter and error conditions. A record is transferred only when "
    "the filter condition holds, and the stop condition ends the run.",

    "Import modes\n"
    "A target can append records, update them, append or update, delete them, or empty the table first and "
    "then copy. Updating and deleting find existing records by the key fields you mark.",

    "Error records\n"
    "Records that fail to be written are kept as error records. Browse, filter and save them on the Error Data "
    "page, load them again later, and transfer them again once the cause is fixed.",

    "Limit on errors\n"
    "Set the maximum number of errors in the DB link's properties: the run stops with an error status when "
    "the limit is reached.",

    "Schedules\n"
    "Every job has a schedule: every few days, on chosen days of the week, on a day of the month, or once. "
    "Jobs set to run automatically start when they are due.",

    "Parallel runs\n"
    "Several jobs run at once, up to the number set in Options; further jobs wait in the queue and start in "
    "turn. All DB links of a job run at the same time.",

    "Debug window\n"
    "The debug window runs a DB link record by record and shows the value computed for every target field. "
    "Debug settings make it stop or pause after a number of rows.",

    "Monitor\n"
    "The monitor in the main window draws the source browse speed, the import speed and the error records "
    "per second. Its colours and scale are set in Options.",

    "Logs\n"
    "Every job and DB link keeps a log of checks, state changes and errors. Options decide when logs are "
    "deleted: at each run, at exit, every few days, or when the log file grows too large.",

    "Text files\n"
    "Delimited and fixed-width text files are datasets too: set the field separator, the text qualifier, the "
    "rows to skip and whether the first line holds the field names, then import the field definitions.",

    "ODBC and SQLite\n"
    "Tables reached through ODBC data sources, SQLite database files among them, can be sources and targets, "
    "and an SQL query can serve as a source dataset.",

    "Variables\n"
    "Job and DB link variables keep their values from record to record: give them an initial value and change "
    "them in expressions, for example to number the records or to sum a field.",

    "Automation with vandrel-cli\n"
    "vandrel-cli runs and inspects jobs without the main window, so transfers can be started from scripts and "
    "from the system's scheduler. Run \"vandrel-cli help\" to see its commands.",
};

constexpr const char* kChineseTips[] = {
    "作业和数据链接\n"
    "一个作业包含若干数据集以及它们之间的数据链接。每个数据链接把一个源数据集的记录传输到一个目标数据集;"
    "在作业设计器中,在两个图形之间画一个箭头即可建立数据链接。",

    "字段映射\n"
    "每个目标字段都由一个基于源字段和变量的表达式计算得出。映射编辑器中的“自动匹配”可以自动配对名称相同或相近的字段。",

    "表达式和函数\n"
    "表达式语言提供两百多个函数,涵盖数值、字符、日期、转换和数据库等方面。运行作业之前,"
    "可以在表达式编辑器中按“校验”检查表达式。",

    "条件\n"
    "数据链接可以设置开始、停止、暂停、过滤和错误条件。只有满足过滤条件的记录才会被传输,停止条件成立时运行结束。",

    "导入方式\n"
    "目标数据集可以追加记录、更新记录、追加或更新、删除记录,或者先清空表再复制。更新和删除按您标记的关键字段查找已有记录。",

    "错误记录\n"
    "写入失败的记录会保存为错误记录。可以在“错误数据”页中浏览、过滤和保存它们,以后重新装载,"
    "排除原因之后还可以重新传输。",

    "错误数限制\n"
    "在数据链接属性中设置最大错误数:达到该数目时,运行停止并显示错误状态。",

    "调度\n"
    "每个作业都有调度计划:每隔若干天、每周选定的几天、每月的某一天或仅一次。设置为自动执行的作业到期时会自动启动。",

    "并行运行\n"
    "多个作业可以同时运行,最多为“选项”中设置的数目;其余作业在队列中等待,依次启动。一个作业的所有数据链接同时运行。",

    "调试窗口\n"
    "调试窗口逐条记录地运行数据链接,并显示每个目标字段的计算值。通过调试设置可以在指定行数后停止或暂停。",

    "监视器\n"
    "主窗口中的监视器绘制源数据浏览速度、导入速度和每秒错误记录数。可以在“选项”中设置它的颜色和刻度。",

    "日志\n"
    "每个作业和数据链接都有日志,记录检查结果、状态变化和错误。“选项”决定何时删除日志:每次运行时、退出时、"
    "每隔若干天,或日志文件过大时。",

    "文本文件\n"
    "带分隔符和固定宽度的文本文件也可以作为数据集:设置字段分隔符、文本限定符、跳过的行数以及首行是否为字段名,"
    "然后导入字段定义。",

    "ODBC和SQLite\n"
    "通过ODBC数据源访问的表(包括SQLite数据库文件)既可以作为源,也可以作为目标;SQL查询也可以作为源数据集。",

    "变量\n"
    "作业变量和数据链接变量在记录之间保持其值:为它们设置初始值,并在表达式中修改,例如给记录编号或对字段求和。",

    "使用vandrel-cli实现自动化\n"
    "vandrel-cli不需要主窗口即可运行和检查作业,因此可以从脚本和系统的计划任务中启动数据传输。"
    "运行“vandrel-cli help”可以查看它的命令。",

    "切换语言\n"
    "在主窗口的菜单中可以切换中文和英文界面。切换到中文后界面立即更新;切换到英文则需要重新启动程序。",
};

template <class Add>
void ForEachTip(Add add) {
  if (KVLanguageType == ltSimpleChinese) {
    for (const char* tip : kChineseTips) add(tip);
  } else {
    for (const char* tip : kEnglishTips) add(tip);
  }
}

}  // namespace

void GetTips(TPlainStringList& list) {
  ForEachTip([&](const char* tip) { list.Add(tip); });
}

void GetTips(std::vector<std::string>& list) {
  ForEachTip([&](const char* tip) { list.emplace_back(tip); });
}

}  // namespace kv
