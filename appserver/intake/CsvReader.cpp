#include "intake/CsvReader.h"

#include <QFile>

#include <csv.h>

#include <cstdlib>
#include <cstring>

namespace {

constexpr std::size_t BlockBytes = 256 * 1024;

// libcsv grows its field buffer through this: past the bound it gets nothing and reports CSV_ENOMEM.
void* boundedRealloc(void* buffer, std::size_t size) {
    return size > CsvReader::MaxFieldBytes + 1 ? nullptr : std::realloc(buffer, size);
}

// Blanks and tabs belong to the field, as RFC 4180 has it (libcsv would trim them).
int noSpace(unsigned char) {
    return 0;
}

qint64 newlinesIn(const char* data, std::size_t size) {
    qint64 lines = 0;
    for (std::size_t i = 0; i < size; ++i) {
        const bool carriageReturnAlone = data[i] == '\r' && (i + 1 == size || data[i + 1] != '\n');
        lines += data[i] == '\n' || carriageReturnAlone ? 1 : 0;
    }
    return lines;
}

}  // namespace

struct CsvReader::Parser {
    csv_parser parser{};
};

CsvReader::CsvReader(QString path) : m_path(std::move(path)), m_parser(new Parser) {
    csv_init(&m_parser->parser, CSV_STRICT | CSV_STRICT_FINI | CSV_REPALL_NL);
    csv_set_space_func(&m_parser->parser, &noSpace);
    csv_set_realloc_func(&m_parser->parser, &boundedRealloc);
}

CsvReader::~CsvReader() {
    csv_free(&m_parser->parser);
    delete m_parser;
}

bool CsvReader::read(const RecordHandler& onRecord, const ProgressHandler& onProgress) {
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly)) {
        return fail(file.errorString(), 0);
    }
    m_onRecord = &onRecord;
    std::vector<char> block(BlockBytes);
    qint64 done = 0;
    bool first = true;
    while (!m_stopped) {
        const qint64 size = file.read(block.data(), static_cast<qint64>(block.size()));
        if (size < 0) {
            return fail(file.errorString(), m_line);
        }
        if (size == 0) {
            break;
        }
        const char* data = block.data();
        std::size_t length = static_cast<std::size_t>(size);
        if (first && length >= 3 && std::memcmp(data, "\xEF\xBB\xBF", 3) == 0) {
            data += 3;
            length -= 3;
        }
        first = false;
        if (!parse(data, length)) {
            return false;
        }
        done += size;
        if (onProgress) {
            onProgress(done);
        }
    }
    const bool read = m_stopped || finish();
    if (m_thrown) {
        std::rethrow_exception(m_thrown);
    }
    return read;
}

bool CsvReader::parse(const char* data, std::size_t size) {
    if (csv_parse(&m_parser->parser, data, size, &fieldEnded, &recordEnded, this) == size) {
        return true;
    }
    if (m_stopped) {
        return true;
    }
    return csv_error(&m_parser->parser) == CSV_ENOMEM
               ? fail(QStringLiteral("a field longer than %1 bytes, or a quote never closed")
                          .arg(MaxFieldBytes),
                      m_line)
               : fail(QStringLiteral("a quote inside a field that is not quoted, or not doubled"), m_line);
}

bool CsvReader::finish() {
    if (csv_fini(&m_parser->parser, &fieldEnded, &recordEnded, this) != 0) {
        return fail(QStringLiteral("a quote never closed"), m_line);
    }
    return true;
}

bool CsvReader::fail(const QString& reason, qint64 line) {
    m_error = reason;
    m_errorLine = line;
    return false;
}

void CsvReader::fieldEnded(void* data, std::size_t size, void* reader) {
    static_cast<CsvReader*>(reader)->addField(static_cast<const char*>(data), size);
}

void CsvReader::recordEnded(int terminator, void* reader) {
    static_cast<CsvReader*>(reader)->endRecord(terminator);
}

void CsvReader::addField(const char* data, std::size_t size) {
    if (m_stopped) {
        return;
    }
    m_afterCarriageReturn = false;
    m_newlinesInRecord += newlinesIn(data, size);
    if (m_fieldCount > MaxFields) {
        return;  // already more than any header names
    }
    if (m_fields.size() == m_fieldCount) {
        m_fields.emplace_back();
    }
    m_fields[m_fieldCount++].assign(data, size);
}

void CsvReader::endRecord(int terminator) {
    if (m_stopped) {
        return;
    }
    // With every line end reported, CR LF comes as two: the second ends nothing.
    const bool secondHalfOfCrLf = terminator == '\n' && m_afterCarriageReturn && m_fieldCount == 0;
    m_afterCarriageReturn = terminator == '\r';
    if (secondHalfOfCrLf) {
        return;
    }
    const qint64 line = m_line;
    m_line += m_newlinesInRecord + (terminator == -1 ? 0 : 1);
    m_newlinesInRecord = 0;
    if (m_fieldCount == 0) {
        return;
    }
    const Fields fields(m_fields.data(), m_fieldCount);
    m_fieldCount = 0;
    try {
        m_stopped = !(*m_onRecord)(line, fields);
    } catch (...) {
        m_thrown = std::current_exception();
        m_stopped = true;
    }
}
