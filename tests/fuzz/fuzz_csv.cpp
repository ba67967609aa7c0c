// Feeds arbitrary files to the import's reading: the CSV reader's records and their lines, the header and
// each row's checks, for the table the first byte picks. Every record must come on a later line than the one
// before, with no more fields than the bound, and every row either pass with a value per column or be refused
// with a reason.
// An input is the table's index (first byte, modulo the number of tables) and the file's bytes after it.
#include "intake/CsvReader.h"
#include "intake/Problems.h"
#include "intake/RowCheck.h"
#include "intake/Tables.h"

#include <QString>

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

// The reader takes a path: each input is written to this process's own file first, removed at exit.
class InputFile {
public:
    InputFile() : m_path(QStringLiteral("/tmp/fuzz_csv.%1").arg(getpid())) {}
    ~InputFile() { std::remove(qPrintable(m_path)); }
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    const QString& write(const std::uint8_t* data, std::size_t size) const {
        std::FILE* file = std::fopen(qPrintable(m_path), "wb");
        if (file == nullptr || std::fwrite(data, 1, size, file) != size || std::fclose(file) != 0) {
            std::abort();
        }
        return m_path;
    }

private:
    QString m_path;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const QList<intake::Table>& tables = intake::tables();
    const intake::Table& table = tables.at(data[0] % tables.size());
    Problems problems;
    intake::RowCheck check(table, problems);
    qint64 lastLine = 0;
    bool headerRead = false;
    static const InputFile input;
    CsvReader reader(input.write(data + 1, size - 1));
    reader.read([&](qint64 line, CsvReader::Fields fields) {
        if (line <= lastLine || fields.empty() || fields.size() > CsvReader::MaxFields + 1) {
            std::abort();
        }
        lastLine = line;
        if (!headerRead) {
            headerRead = true;
            return check.readHeader(fields);
        }
        const qint64 before = problems.count();
        const bool good = check.check(line, fields);
        if (good != (problems.count() == before) || (good && check.values().size() != fields.size())) {
            std::abort();
        }
        return true;
    });
    if (!reader.error().isEmpty() && reader.errorLine() < lastLine) {
        std::abort();
    }
    return 0;
}
