#pragma once

#include <QString>

#include <exception>
#include <functional>
#include <span>
#include <string>
#include <vector>

// Reads an RFC 4180 file record by record with libcsv, in blocks, so that a file of any size takes the
// same memory: one block, one record, and one field of at most MaxFieldBytes (a quote left open would
// otherwise gather the rest of the file into one field). A UTF-8 byte order mark is skipped; blank lines
// are skipped but counted, so that every record is named by the line it starts on.
class CsvReader {
public:
    static constexpr std::size_t MaxFieldBytes = 64 * 1024;
    static constexpr std::size_t MaxFields = 512;

    // A record's fields; a record of more than MaxFields comes with MaxFields + 1.
    using Fields = std::span<const std::string>;
    // Gets each record with the line it starts on; returns false to stop reading. What it throws stops the
    // reading and comes out of read().
    using RecordHandler = std::function<bool(qint64 line, const Fields& fields)>;
    // Told how many bytes of the file have been read so far, after each block.
    using ProgressHandler = std::function<void(qint64 bytes)>;

    explicit CsvReader(QString path);
    ~CsvReader();
    CsvReader(const CsvReader&) = delete;
    CsvReader& operator=(const CsvReader&) = delete;

    // False when the file could not be read or is not well-formed CSV; error() and errorLine() say why
    // and where. A handler that stops the reading is not an error.
    bool read(const RecordHandler& onRecord, const ProgressHandler& onProgress = {});
    QString error() const { return m_error; }
    qint64 errorLine() const { return m_errorLine; }

private:
    static void fieldEnded(void* data, std::size_t size, void* reader);
    static void recordEnded(int terminator, void* reader);
    void addField(const char* data, std::size_t size);
    void endRecord(int terminator);
    bool parse(const char* data, std::size_t size);
    bool finish();
    bool fail(const QString& reason, qint64 line);

    QString m_path;
    struct Parser;
    Parser* m_parser;
    const RecordHandler* m_onRecord = nullptr;
    std::vector<std::string> m_fields;  // kept from record to record, with their buffers
    std::size_t m_fieldCount = 0;
    qint64 m_line = 1;  // the line the record being read starts on
    qint64 m_newlinesInRecord = 0;
    bool m_afterCarriageReturn = false;
    bool m_stopped = false;
    std::exception_ptr m_thrown;  // by the handler: carried over libcsv's C frames, thrown again after
    QString m_error;
    qint64 m_errorLine = 0;
};
