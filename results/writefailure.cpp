#include "results/writefailure.h"

#include "roster/classsheet.h"

namespace velquor::results {
namespace {

std::string heldCause(const std::string& holder) {
  if (holder.empty()) return "名单文件正被其他程序打开，请在那里关闭后再试，";
  const HolderShown shown = showHolder(holder);
  return "名单文件" + (shown.since.empty() ? std::string() : "自" + shown.since + "起") + "正被" + shown.who +
         "打开，请在那里关闭后再试，";
}

}  // namespace

HolderShown showHolder(const std::string& holder) {
  HolderShown shown{holder, {}};
  const auto open = holder.rfind(" (");
  if (open != std::string::npos && holder.back() == ')') {
    std::string inside = holder.substr(open + 2, holder.size() - open - 3);
    const auto comma = inside.rfind(", ");
    if (comma != std::string::npos) {
      shown.since = inside.substr(comma + 2);
      inside.resize(comma);
    }
    shown.who = holder.substr(0, open) + "（" + inside + "）";
  }
  return shown;
}

std::string writeFailureCause(const roster::WorkbookError& error) {
  using roster::ErrorKind;
  switch (error.kind()) {
    case ErrorKind::Held: return heldCause(error.holder());
    case ErrorKind::ReadOnly: return "名单文件是只读的，";
    case ErrorKind::ChangedOnDisk: return "名单文件已在其他程序中修改，请重新选择班级后再试，";
    case ErrorKind::DiskFull: return "磁盘已满，";
    case ErrorKind::NoPermission: return "没有写入名单文件的权限（文件夹或磁盘不允许写入），";
    case ErrorKind::CannotWrite: return "名单文件中有本程序无法安全写入的结构，";
    case ErrorKind::NotFound: return "找不到名单文件（它可能已被移走或改名，或所在的磁盘已断开），";
    case ErrorKind::NotRegular: return "名单文件不是普通文件，";
    case ErrorKind::Damaged: return "名单文件已损坏，无法读取，";
    case ErrorKind::SheetUnreadable: return "名单文件中有班级的工作表已损坏，为免损坏名单不写入，";
    case ErrorKind::Unsupported: return "名单文件的格式不受支持（已加密或版本过旧），";
    case ErrorKind::Other: break;
  }
  return "无法写入名单文件，";
}

std::string classLoadFailure(const std::exception& error, LoadStep step, const std::string& className,
                             const std::string& today) {
  const std::string named = "班级“" + className + "”";
  const auto* workbook = dynamic_cast<const roster::WorkbookError*>(&error);
  if (workbook && workbook->kind() == roster::ErrorKind::SheetUnreadable)
    return named + "的工作表已损坏，无法读取，请检查名单文件";
  if (!workbook && step == LoadStep::Count)
    return named + "的名单超过" + std::to_string(roster::kMaxStudents) + "人（第" +
           std::to_string(roster::kLastListEndRow) + "行之前没有空行结束名单），无法载入，请检查名单文件";
  if (!workbook && step == LoadStep::TodayColumn)
    return named + "的工作表从F列起已没有空列记录今天（" + today + "）的成绩，无法载入，请在名单文件中删去不用的列";
  std::string cause = "无法读取名单文件";
  if (workbook) {
    switch (workbook->kind()) {
      case roster::ErrorKind::NotFound: cause = "找不到名单文件（它可能已被移走或改名，或所在的磁盘已断开）"; break;
      case roster::ErrorKind::NotRegular: cause = "名单文件不是普通文件"; break;
      case roster::ErrorKind::Damaged: cause = "名单文件已损坏，无法读取"; break;
      case roster::ErrorKind::Unsupported: cause = "名单文件的格式不受支持（已加密或版本过旧）"; break;
      case roster::ErrorKind::NoPermission:
      case roster::ErrorKind::ReadOnly: cause = "没有读取名单文件的权限"; break;
      default: break;
    }
  }
  return "无法载入" + named + "：" + cause + "。";
}

std::string writeFailureCause(const std::exception& error) {
  if (const auto* workbook = dynamic_cast<const roster::WorkbookError*>(&error)) return writeFailureCause(*workbook);
  return "无法写入名单文件，";
}

}  // namespace velquor::results
