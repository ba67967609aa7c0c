#include "platform/Journal.h"

#include <QByteArrayList>
#include <QDateTime>

#include <sys/stat.h>

namespace platform::journal {

namespace {

// The journal names the stream it reads as "device:inode".
bool isJournal(std::FILE* stream) {
    const QByteArrayList named = qgetenv("JOURNAL_STREAM").split(':');
    struct stat status {};
    return named.size() == 2 && fstat(fileno(stream), &status) == 0 &&
           named.at(0).toULongLong() == status.st_dev && named.at(1).toULongLong() == status.st_ino;
}

}  // namespace

QByteArray prefix(std::FILE* stream, Priority priority) {
    static const bool outputJournal = isJournal(stdout);
    static const bool errorsJournal = isJournal(stderr);
    const bool journal = stream == stdout ? outputJournal : stream == stderr && errorsJournal;
    return journal ? '<' + QByteArray::number(static_cast<int>(priority)) + '>' : QByteArray();
}

void log(Priority priority, const QString& text) {
    QByteArray line = prefix(stderr, priority);
    if (line.isEmpty()) {
        line = QDateTime::currentDateTime().toString(Qt::ISODate).toUtf8() + ' ';
    }
    line += text.toUtf8() + '\n';
    std::fputs(line.constData(), stderr);
    std::fflush(stderr);
}

}  // namespace platform::journal
