#pragma once

#include <QDateTime>

#include <functional>

// The one source of "now" for every rule that depends on the date or the time.
class Clock {
public:
    static QDateTime now();
    static QDate today() { return now().date(); }

    // The seam: while one lives, "now" comes from its source (the tests' fixed clock). The previous source
    // is back when it ends; overrides may nest.
    class Override {
    public:
        explicit Override(std::function<QDateTime()> source);
        ~Override();
        Override(const Override&) = delete;
        Override& operator=(const Override&) = delete;

    private:
        friend class Clock;
        std::function<QDateTime()> m_source;
        Override* m_previous;
    };
};
