#include "fix/quickfix_support.h"

#include <quickfix/DataDictionary.h>
#include <quickfix/SessionSettings.h>
#include <quickfix/Values.h>

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace vqs {
namespace fix {

const char kBeginString[] = "FIX.4.4";

namespace {

constexpr std::int64_t kMsPerDay = 86400000;

FIX::DataDictionary groupOf(std::initializer_list<int> fields) {
    FIX::DataDictionary group;
    for (int field : fields) group.addField(field);
    return group;
}

class EventLog final : public FIX::Log {
public:
    explicit EventLog(const std::function<void(const std::string&)>& onEvent) : onEvent_(onEvent) {}
    void clear() override {}
    void backup() override {}
    void onIncoming(const std::string&) override {}
    void onOutgoing(const std::string&) override {}
    void onEvent(const std::string& text) override {
        if (onEvent_) onEvent_(blotPassword(text));
    }

private:
    const std::function<void(const std::string&)>& onEvent_;
};

}  // namespace

FIX::Dictionary commonSessionSettings(const std::string& connectionType,
                                      const std::string& storeDir) {
    FIX::Dictionary d;
    d.setString(FIX::CONNECTION_TYPE, connectionType);
    d.setString(FIX::START_TIME, "00:00:00");
    d.setString(FIX::END_TIME, "00:00:00");
    d.setBool(FIX::USE_DATA_DICTIONARY, false);
    d.setString(FIX::FILE_STORE_PATH, storeDir);
    d.setBool(FIX::PERSIST_MESSAGES, false);
    d.setBool(FIX::RESET_ON_LOGON, true);
    d.setBool(FIX::RESET_ON_LOGOUT, true);
    d.setBool(FIX::RESET_ON_DISCONNECT, true);
    d.setBool(FIX::SOCKET_NODELAY, true);
    d.setInt(FIX::TIMESTAMP_PRECISION, 3);
    return d;
}

FIX::Dictionary tlsSettings() {
    FIX::Dictionary d;
    d.setString(FIX::SSL_PROTOCOL, "all -SSLv2 -SSLv3 -TLSv1 -TLSv1_1");
    return d;
}

FIX::DataDictionaryProvider groupsDictionary() {
    auto dictionary = std::make_shared<FIX::DataDictionary>();
    const FIX::DataDictionary entryTypes = groupOf({269});
    const FIX::DataDictionary requestSymbols = groupOf({55, 65, 48, 22, 167, 207});
    const FIX::DataDictionary snapshotEntries = groupOf({269, 270, 15, 271, 272, 273, 58});
    const FIX::DataDictionary incrementEntries =
        groupOf({279, 285, 269, 278, 280, 55, 65, 48, 22, 167, 207, 270, 15, 271, 272, 273, 58});
    const FIX::DataDictionary listedSecurities = groupOf({55, 65, 48, 22, 167, 207, 107});
    dictionary->addGroup("V", 267, 269, entryTypes);
    dictionary->addGroup("V", 146, 55, requestSymbols);
    dictionary->addGroup("W", 268, 269, snapshotEntries);
    dictionary->addGroup("X", 268, 279, incrementEntries);
    dictionary->addGroup("y", 146, 55, listedSecurities);
    FIX::DataDictionaryProvider provider;
    provider.addTransportDataDictionary(FIX::BeginString(kBeginString), dictionary);
    return provider;
}

void makeFolder(const std::string& path) {
    if (path.empty()) throw Error("No folder for the FIX session store was given.");
    for (std::string::size_type slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string part = path.substr(0, slash);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
            throw Error("Cannot create " + part + ": " + std::strerror(errno));
        if (slash == std::string::npos) break;
    }
}

std::string blotPassword(std::string text) {
    for (std::string::size_type at = text.find("554="); at != std::string::npos;
         at = text.find("554=", at + 4)) {
        // Only a field's start: the beginning or after a field separator.
        if (at != 0 && text[at - 1] != '\x01') continue;
        const std::string::size_type end = text.find('\x01', at);
        const std::string::size_type count =
            (end == std::string::npos ? text.size() : end) - (at + 4);
        text.replace(at + 4, count, "***");
    }
    return text;
}

FIX::Log* EventLogFactory::create() { return new EventLog(onEvent_); }
FIX::Log* EventLogFactory::create(const FIX::SessionID&) { return new EventLog(onEvent_); }
void EventLogFactory::destroy(FIX::Log* log) { delete log; }

void setEntryTime(FIX::FieldMap& entry, std::int64_t utcMs) {
    const std::int64_t days = utcMs >= 0 ? utcMs / kMsPerDay : (utcMs - kMsPerDay + 1) / kMsPerDay;
    const std::int64_t msOfDay = utcMs - days * kMsPerDay;
    const std::time_t seconds = static_cast<std::time_t>(days * 86400);
    std::tm date{};
    gmtime_r(&seconds, &date);
    char dateText[40];
    std::snprintf(dateText, sizeof dateText, "%04d%02d%02d", date.tm_year + 1900, date.tm_mon + 1,
                  date.tm_mday);
    char timeText[40];
    std::snprintf(timeText, sizeof timeText, "%02d:%02d:%02d.%03d",
                  static_cast<int>(msOfDay / 3600000), static_cast<int>(msOfDay / 60000 % 60),
                  static_cast<int>(msOfDay / 1000 % 60), static_cast<int>(msOfDay % 1000));
    entry.setField(272, dateText);
    entry.setField(273, timeText);
}

bool entryTime(const FIX::FieldMap& entry, std::int64_t& utcMs) {
    const std::string date = fieldOr(entry, 272);
    const std::string time = fieldOr(entry, 273);
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, ms = 0;
    if (std::sscanf(date.c_str(), "%4d%2d%2d", &year, &month, &day) != 3) return false;
    const int parts = std::sscanf(time.c_str(), "%2d:%2d:%2d.%3d", &hour, &minute, &second, &ms);
    if (parts < 3) return false;
    if (parts == 3) ms = 0;
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    const std::time_t midnight = timegm(&tm);
    utcMs = static_cast<std::int64_t>(midnight) * 1000 + hour * 3600000LL + minute * 60000LL +
            second * 1000LL + ms;
    return true;
}

void setEntryValues(FIX::FieldMap& group, const MarketDataEntry& entry) {
    group.setField(FIX::MDEntryType(static_cast<char>(entry.type)));
    group.setField(FIX::MDEntryPx(entry.price));
    if (entry.hasSize) group.setField(FIX::MDEntrySize(entry.size));
    if (entry.hasTime) setEntryTime(group, entry.utcMs);
}

bool readEntry(const FIX::FieldMap& group, MarketDataEntry& entry) {
    const std::string type = fieldOr(group, 269);
    if (type != "0" && type != "1" && type != "2") return false;
    entry.type = static_cast<EntryType>(type[0]);
    FIX::MDEntryPx price;
    if (!group.getFieldIfSet(price)) return false;
    entry.price = price.getValue();
    FIX::MDEntrySize size;
    entry.hasSize = group.getFieldIfSet(size);
    entry.size = entry.hasSize ? size.getValue() : 0;
    entry.hasTime = entryTime(group, entry.utcMs);
    return true;
}

std::string fieldOr(const FIX::FieldMap& map, int tag, const std::string& fallback) {
    return map.isSetField(tag) ? map.getField(tag) : fallback;
}

std::string messageType(const FIX::Message& message) {
    return fieldOr(message.getHeader(), FIX::FIELD::MsgType);
}

}  // namespace fix
}  // namespace vqs
