#include "recording/datenpflege.h"

#include "broker/bravolt_session.h"
#include "common/serial_date.h"
#include "datafiles/data_file_store.h"
#include "titles/titel_objekt.h"
#include "titles/titel_registry.h"

#include <QCoreApplication>
#include <QScopeGuard>

#include <algorithm>
#include <functional>

namespace vqs {
namespace {

// A time of day may lie this little before the start time and still count (about 9 ms).
constexpr double kStartTolerance = 0.0000001;

// The broker's paid ticks of the day from `startzeit` on, in the order it gives them; false when
// there are none (or the user cancelled first).
bool fetchTicks(const broker::HistoryResult& history, double startzeit, QDate today,
                std::vector<KursSatz>& ticks, DatenpflegeProgress& progress,
                const std::function<bool()>& stopping) {
    const auto n = static_cast<int>(history.items.size());
    if (n == 0) return false;
    progress.status(QStringLiteral("Status: Daten abfragen"));
    if (stopping()) return false;
    progress.kursart(QStringLiteral("Kursart: Bezahlt"));
    progress.progressMaximum(n);
    progress.progress(0);
    const double day = serialFromDate(history.date.value_or(today));
    ticks.reserve(static_cast<size_t>(n));
    for (int i = 1; i <= n; ++i) {
        const broker::HistoryItem& item = history.items[static_cast<size_t>(i - 1)];
        const std::optional<double> t = Tageszeit(item.time);
        if (t && *t >= startzeit - kStartTolerance)
            ticks.push_back(
                {day + *t, static_cast<float>(item.price), static_cast<float>(item.volume)});
        if (i % 50 == 0) {
            progress.progress(i);
            progress.yield();
        }
    }
    progress.progress(0);
    return !ticks.empty();
}

}  // namespace

std::vector<TitelDef> aktiveTitel(const TitelRegistry& titles) {
    return titles.definitions().active();
}

DatenpflegeResult DatenpflegeRun::run(const std::vector<TitelDef>& titles, double startzeit,
                                      DatenpflegeProgress& progress) {
    std::vector<DatenpflegeTitel> each;
    each.reserve(titles.size());
    for (const TitelDef& def : titles) each.push_back({def, startzeit});
    return run(each, progress);
}

DatenpflegeResult DatenpflegeRun::run(const std::vector<DatenpflegeTitel>& titles,
                                      DatenpflegeProgress& progress) {
    DatenpflegeResult result;
    if (running_ || stopped_ || progress.cancelRequested()) {
        result.started = false;
        return result;
    }
    running_ = true;
    const auto ended = qScopeGuard([this] { running_ = false; });
    const auto stopping = [&] { return stopped_ || progress.cancelRequested(); };
    const QDate today = clock_.now().date();
    const auto tell = [&](const QString& text) {
        if (!progress.tellError(text)) report_.messages().ShowMessage(text, msg::kOk);
    };
    // A source without history has nothing to fill with: said once, and the span it leaves.
    if (broker::BrokerSession* session = session_.SF();
        session && !session->keepsHistory() && !titles.empty()) {
        double earliest = titles.front().startzeit;
        for (const DatenpflegeTitel& t : titles) earliest = std::min(earliest, t.startzeit);
        for (const DatenpflegeTitel& t : titles) result.skipped << t.def.WKN;
        tell(QStringLiteral("Die Kursquelle hält keine Kurshistorie: die Kurse von %1 bis %2 "
                            "fehlen für %3 Titel und bleiben aus.")
                 .arg(timeFromDayFraction(earliest).toString(QStringLiteral("HH:mm:ss")),
                      clock_.now().toString(QStringLiteral("HH:mm:ss")))
                 .arg(titles.size()));
        return result;
    }
    try {
        for (const auto& [def, startzeit] : titles) {
            if (stopping()) break;
            const QDateTime from(today, timeFromDayFraction(startzeit));
            progress.titel(QStringLiteral("Titel: ") + def.Name);
            progress.status(QStringLiteral("Status: Daten laden, bitte warten..."));
            progress.datum(QStringLiteral("Datum: ") +
                           from.toString(QStringLiteral("dd.MM.yyyy HH:mm:ss")));
            progress.yield();
            if (stopping()) break;
            broker::BrokerSession* session = session_.SF();
            if (!session)
                throw broker::BrokerError(QStringLiteral("Keine Verbindung zur Bravolt-API."));
            broker::HistoryResult history;
            try {
                history = session->runHistory({def.RT_WKN, def.RT_Boerse});
            } catch (const broker::BrokerError&) {
                // No history for this title: its file stays as it is; the end of the run says so.
                result.skipped << def.WKN;
                continue;
            }
            std::vector<KursSatz> ticks;
            if (fetchTicks(history, startzeit, today, ticks, progress, stopping) && !stopping()) {
                progress.status(QStringLiteral("Status: Daten speichern"));
                progress.kursart(QStringLiteral("Kursart: Bezahlt"));
                const MergeResult merged = mergeHistory(
                    store_, def, std::move(ticks), options_.UmsatzFilterBezahlt, today, progress);
                if (merged.outcome == MergeResult::kMerged) ++result.merged;
                if (merged.outcome == MergeResult::kFailed)
                    tell(QStringLiteral("Fehler aufgetreten: ") + merged.error.text);
            }
        }
    } catch (const VqsError& e) {
        result.error = e.message();
        tell(QStringLiteral("Fehler bei Kurspflege aufgetreten: ") + e.message());
    }
    result.cancelled = stopping();
    // One line, so that a window showing the last line shows the skipped titles too.
    QString end = QStringLiteral("Datenpflege beendet: %1 von %2 Titeln gefüllt")
                      .arg(result.merged)
                      .arg(titles.size());
    if (!result.skipped.isEmpty()) {
        end += QStringLiteral("; keine Historie für %1, ihre Dateien wurden nicht gefüllt")
                   .arg(result.skipped.join(QStringLiteral(", ")));
    }
    if (result.cancelled) end += QStringLiteral("; abgebrochen");
    // Files left unfilled are to be read, not to scroll away under the next line (errors were
    // told as they came).
    if (result.skipped.isEmpty())
        report_.log(end + QLatin1Char('.'));
    else
        report_.warn(end + QLatin1Char('.'));
    return result;
}

void LogProgress::titel(const QString& text) {
    titel_ = text;
    status_.clear();
}

void LogProgress::status(const QString& text) {
    if (text == status_) return;
    status_ = text;
    log_(QStringLiteral("Datenpflege: %1, %2").arg(titel_, text));
}

void LogProgress::yield() { QCoreApplication::processEvents(); }

}  // namespace vqs
