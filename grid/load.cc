#include "grid/load.h"

#include "grid/recovery.h"

#include <cmath>
#include <cstdio>

namespace grid {

namespace detail {
namespace {

void listMinutes(Engine& engine, QueryDataSet& query, ProgressSink& progress, LoadView& view)
{
    query.close();
    query.clearSql();
    query.addSql(std::string("SELECT DISTINCT FTIME FROM \"") + engine.BaseFolder + kGridTable + "\"");
    query.addSql("ORDER BY FTIME");
    query.open();

    engine.Minutes.clear();
    view.clearMinuteList();

    std::int32_t counter = 0;
    while (!query.eof()) {
        const paradox::TimeOfDay t = paradox::decodeTime(query.asDateTime(query.fieldByName("FTime")));
        bool known = false;
        for (std::uint16_t m : engine.Minutes)
            if (m == t.minute) {
                known = true;
                break;
            }
        if (!known)
            engine.Minutes.push_back(t.minute);
        if (counter % 10 == 0)
            progress.report("", std::trunc(counter * 100.0 / query.recordCount()));
        ++counter;
        query.next();
    }
    query.close();
    query.clearSql();
    progress.report("", -1);
    if (!query.notice().empty())
        view.showNotice(query.notice());

    std::vector<std::uint16_t>& m = engine.Minutes;
    for (std::size_t i = 0; i < m.size(); ++i)
        for (std::size_t j = i + 1; j < m.size(); ++j)
            if (m[j] < m[i])
                std::swap(m[i], m[j]);
    for (std::uint16_t minute : m) {
        char text[16];
        std::snprintf(text, sizeof text, "%2.2d", minute);
        view.addMinute(text);
    }
    if (!m.empty())
        view.selectFirstMinute();
}

} // namespace

void runLoad(Engine& engine, const std::string& folderText, QueryDataSet& query, ProgressSink& progress,
             LoadView& view)
{
    engine.BaseFolder = SlashedPath(folderText);
    if (!fileExists(engine.tablePath(kGridTable))) {
        view.showError("Не найдена база сетки рекламы AdvSetBlk.db");
        return;
    }
    if (!fileExists(engine.tablePath(kFillingTable))) {
        view.showError("Не найдена база наполнения блоков AdvBlock.db");
        return;
    }
    recoverFolder(engine.BaseFolder, view);
    progress.report("Загрузка сетки рекламы", 0);
    try {
        listMinutes(engine, query, progress, view);
    } catch (...) {
        // Nothing may stay open or on screen above the error box.
        query.close();
        query.clearSql();
        progress.report("", -1);
        throw;
    }
}

} // namespace detail

bool loadMinutes(Engine& engine, const std::string& folderText, QueryDataSet& query, ProgressSink& progress,
                 LoadView& view)
{
    if (engine.busy)
        return false;
    detail::BusyGuard guard(engine);
    detail::runLoad(engine, folderText, query, progress, view);
    return true;
}

} // namespace grid
