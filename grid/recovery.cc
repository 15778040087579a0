#include "grid/recovery.h"

#include "grid/engine.h"
#include "paradox/journal.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace grid {
namespace {

using Kind = paradox::JournalProblem::Kind;

std::string inFolder(const std::string& prefix)
{
    return prefix.empty() ? std::string("в текущей папке") : "в папке " + folderAsTyped(prefix);
}

std::string fileList(const std::vector<std::string>& files)
{
    std::string out;
    for (std::size_t i = 0; i < files.size(); ++i)
        out += (i == 0 ? "" : i + 1 == files.size() ? " и " : ", ") + files[i];
    return out;
}

// A name from the journal, which may hold anything, shown so that it can be
// read and cannot break the line.
std::string quoted(const std::string& name)
{
    std::string out = "«";
    for (char c : name) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned>(static_cast<unsigned char>(c)));
            out += hex;
        } else {
            out += c;
        }
    }
    return out + "»";
}

paradox::Journal journalOf(const std::string& prefix)
{
    return paradox::Journal(paradox::FileSystem::standard(), hostFolder(prefix), kJournalName,
                            {kGridTable, kFillingTable});
}

const char* const kUntilRemoved = "до тех пор таблицы в папке не изменяются";

// Why the folder's record stands in the way of writing, and the way out.
std::string blockedText(const std::string& prefix, const paradox::JournalProblem& p)
{
    const std::string journal = pathAsTyped(prefix, kJournalName);
    const std::string setAside = pathAsTyped(prefix, p.setAside);
    switch (p.kind) {
    case Kind::NotAFile:
        return journal + " — не файл записи о переносе, а папка, канал или ссылка. Уберите его: " + kUntilRemoved +
               ".";
    case Kind::NewerFormat:
        return "Запись о переносе " + journal + " сделана более новой версией программы (формат " +
               std::to_string(p.version) +
               "). Откройте папку ею или, проверив таблицы, удалите этот файл: " + kUntilRemoved + ".";
    case Kind::SetAsideWaiting:
        return "В папке лежит отложенная запись о прерванном переносе " + setAside +
               ". Проверьте таблицы и удалите этот файл: " + kUntilRemoved + ".";
    case Kind::Damaged:
    case Kind::NotOurs: {
        std::string what = p.kind == Kind::Damaged
                               ? "Запись о переносе " + inFolder(prefix) + " повреждена"
                               : "Запись о переносе " + inFolder(prefix) + " называет чужой файл " + quoted(p.name);
        what += " и отложена как " + setAside + "; ";
        switch (p.tables) {
        case paradox::JournalProblem::Tables::AsBefore:
            what += "по её уцелевшим частям таблицы не изменены";
            break;
        case paradox::JournalProblem::Tables::AsAfter:
            what += "по её уцелевшим частям перенос записан в таблицы полностью";
            break;
        case paradox::JournalProblem::Tables::Mixed:
            what += "по её уцелевшим частям таблицы изменены лишь частично";
            break;
        case paradox::JournalProblem::Tables::Unknown:
            what += "в каком состоянии таблицы, по ней не понять";
            break;
        }
        return what + ". Проверьте таблицы и удалите этот файл: " + kUntilRemoved + ".";
    }
    default:
        return {};
    }
}

// A refusal of the tables themselves: another program, a file gone or changed.
std::string tablesText(const std::string& prefix, const paradox::JournalProblem& p, const std::string& cannot)
{
    const std::string file = pathAsTyped(prefix, p.name);
    switch (p.kind) {
    case Kind::InUse:
        return "Таблицы " + inFolder(prefix) + " заняты другой программой (" + file +
               "), возможно, идёт перенос. Закройте её или дождитесь конца переноса и повторите.";
    case Kind::Missing:
        return cannot + ": нет файла " + file + ".";
    case Kind::Changed:
        return cannot + ": " + file + " изменён после него.";
    case Kind::NotOurs:
        return cannot + ": запись о нём называет чужой файл " + quoted(p.name) + ".";
    case Kind::Damaged:
        return cannot + ": запись о нём повреждена.";
    default:
        return {};
    }
}

// The refusal of an undo, in one line.
std::string undoRefusal(const std::string& prefix, const paradox::JournalProblem& why, const paradox::Status& st)
{
    const std::string cannot = "Последний перенос " + inFolder(prefix) + " отменить нельзя";
    std::string text = blockedText(prefix, why);
    if (text.empty())
        text = tablesText(prefix, why, cannot);
    if (!text.empty())
        return text;
    switch (why.kind) {
    case Kind::NothingToUndo:
        return "Нет записи о законченном переносе " + inFolder(prefix) + ": отменять нечего.";
    case Kind::AlreadyUndone:
        return "Последний перенос " + inFolder(prefix) + " уже отменён.";
    case Kind::Interrupted:
        return "Перенос " + inFolder(prefix) + " был прерван: откройте папку, и он будет отменён.";
    default:
        return cannot + ": " + userPaths(st.message(), prefix + kJournalName);
    }
}

std::string twoDigits(int v)
{
    char text[8];
    std::snprintf(text, sizeof text, "%02d", v);
    return text;
}

bool readShiftNote(const std::string& note, ShiftRecord* out)
{
    ShiftRecord r;
    int fields = 0;
    std::size_t at = 0;
    while (at < note.size()) {
        std::size_t end = note.find('\n', at);
        if (end == std::string::npos)
            end = note.size();
        const std::string line = note.substr(at, end - at);
        at = end + 1;
        int a = 0, b = 0, c = 0, d = 0, e = 0;
        if (std::sscanf(line.c_str(), "from %d", &a) == 1)
            r.oldMinute = a, ++fields;
        else if (std::sscanf(line.c_str(), "to %d", &a) == 1)
            r.newMinute = a, ++fields;
        else if (std::sscanf(line.c_str(), "grid %d", &a) == 1)
            r.gridChanged = a, ++fields;
        else if (std::sscanf(line.c_str(), "filling %d", &a) == 1)
            r.fillingChanged = a, ++fields;
        else if (std::sscanf(line.c_str(), "made %d-%d-%d %d:%d", &a, &b, &c, &d, &e) == 5)
            r.year = a, r.month = b, r.day = c, r.hour = d, r.minute = e, ++fields;
    }
    if (note.rfind("gridshift shift\n", 0) != 0 || fields != 5)
        return false;
    *out = r;
    return true;
}

} // namespace

void recoverFolder(const std::string& prefix, LoadView& view, Access access)
{
    paradox::Recovery recovery;
    const paradox::Status st = journalOf(prefix).recover(&recovery);
    if (!st.isOk()) {
        const paradox::JournalProblem& p = recovery.problem;
        const std::string cannot = "Прерванный перенос " + inFolder(prefix) + " нельзя отменить";
        std::string text = tablesText(prefix, p, cannot);
        if (text.empty())
            text = cannot + ": " + userPaths(st.message(), prefix + kJournalName);
        if (p.kind == Kind::Missing || p.kind == Kind::Changed)
            text += " Ничего не записано; проверьте таблицы и удалите " + pathAsTyped(prefix, kJournalName) + ".";
        throw Error(text);
    }
    switch (recovery.outcome) {
    case paradox::Recovery::Outcome::Nothing:
        break;
    case paradox::Recovery::Outcome::RolledBack:
        view.showNotice(recovery.files.empty()
                            ? "Перенос " + inFolder(prefix) + " был прерван до записи в таблицы; они не изменены."
                            : "Перенос " + inFolder(prefix) + " был прерван и отменён: " + fileList(recovery.files) +
                                  " снова такие, как до него.");
        break;
    case paradox::Recovery::Outcome::SetAside:
    case paradox::Recovery::Outcome::Blocked:
        if (access == Access::Write)
            throw Error(blockedText(prefix, recovery.problem));
        view.showNotice(blockedText(prefix, recovery.problem));
        break;
    }
}

std::string shiftNote(int oldMinute, int newMinute, int gridChanged, int fillingChanged)
{
    int year = 0, month = 0, day = 0, hour = 0, minute = 0;
    const char* fixed = std::getenv("GRIDSHIFT_FIXED_CLOCK");
    if (!fixed || std::sscanf(fixed, "%d-%d-%d %d:%d", &year, &month, &day, &hour, &minute) != 5) {
        const std::time_t now = std::time(nullptr);
        std::tm local{};
#if defined(_WIN32)
        localtime_s(&local, &now);
#else
        localtime_r(&now, &local);
#endif
        year = local.tm_year + 1900;
        month = local.tm_mon + 1;
        day = local.tm_mday;
        hour = local.tm_hour;
        minute = local.tm_min;
    }
    char made[40];
    std::snprintf(made, sizeof made, "%04d-%02d-%02d %02d:%02d", year, month, day, hour, minute);
    return "gridshift shift\nfrom " + std::to_string(oldMinute) + "\nto " + std::to_string(newMinute) + "\ngrid " +
           std::to_string(gridChanged) + "\nfilling " + std::to_string(fillingChanged) + "\nmade " + made + "\n";
}

UndoCheck checkUndo(const std::string& prefix)
{
    UndoCheck check;
    std::string note;
    paradox::JournalProblem why;
    const paradox::Status st = journalOf(prefix).undoable(&note, &why);
    if (!st.isOk()) {
        check.whyNot = undoRefusal(prefix, why, st);
        return check;
    }
    check.possible = true;
    check.described = readShiftNote(note, &check.shift);
    return check;
}

std::string undoQuestion(const ShiftRecord& s)
{
    const std::string when = twoDigits(s.day) + "." + twoDigits(s.month) + "." + std::to_string(s.year) + " " +
                             twoDigits(s.hour) + ":" + twoDigits(s.minute);
    if (s.oldMinute == s.newMinute)
        return "Вернуть прежнюю продолжительность блоков " + std::to_string(s.oldMinute) + "-ой минуты (" +
               std::to_string(s.gridChanged) + " в сетке, " + when + ")?";
    return "Вернуть блоки, перенесённые с " + std::to_string(s.oldMinute) + "-ой минуты на " +
           std::to_string(s.newMinute) + "-ю (" + std::to_string(s.gridChanged) + " в сетке, " +
           std::to_string(s.fillingChanged) + " в наполнении, " + when + ")?";
}

std::string undoQuestion(const UndoCheck& check, const std::string& prefix)
{
    if (check.described)
        return undoQuestion(check.shift);
    return "Вернуть таблицы " + inFolder(prefix) + " к состоянию до последнего переноса?";
}

std::string undoLastShift(const std::string& prefix, const UndoCheck& asked)
{
    // A question may stay open for long, and another program may shift the
    // folder meanwhile: the undo must be of the shift the user was asked about.
    const UndoCheck now = checkUndo(prefix);
    if (!now.possible)
        throw Error(now.whyNot);
    if (now.described != asked.described || (now.described && now.shift != asked.shift))
        throw Error("Пока шёл вопрос, " + inFolder(prefix) +
                    " сделан другой перенос; ничего не отменено. Повторите отмену, чтобы увидеть, какой.");
    std::vector<std::string> files;
    paradox::JournalProblem why;
    const paradox::Status st = journalOf(prefix).undoLast(&files, &why);
    if (!st.isOk())
        throw Error(undoRefusal(prefix, why, st));
    return "Последний перенос " + inFolder(prefix) + " отменён: " + fileList(files) + " снова такие, как до него.";
}

} // namespace grid
