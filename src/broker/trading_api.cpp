#include "broker/trading_api.h"

namespace vqs::broker {

TimeObject timeObjectAt(int msOfDay) {
    const int hour = msOfDay / 3600000, minute = msOfDay / 60000 % 60, second = msOfDay / 1000 % 60,
              millisecond = msOfDay % 1000;
    // "HH:mm:ss.zzz" without the general formatter: this runs for every quote.
    QString text(12, Qt::Uninitialized);
    QChar* c = text.data();
    auto digits = [&c](int value, int count) {
        for (int i = count - 1; i >= 0; --i, value /= 10) c[i] = QChar(u'0' + value % 10);
        c += count;
    };
    digits(hour, 2);
    *c++ = u':';
    digits(minute, 2);
    *c++ = u':';
    digits(second, 2);
    *c++ = u'.';
    digits(millisecond, 3);
    return {hour, minute, second, millisecond, std::move(text)};
}

}  // namespace vqs::broker
