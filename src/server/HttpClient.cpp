#include "server/HttpClient.h"

#include "server/WireFormat.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstring>

namespace {

using SteadyClock = std::chrono::steady_clock;

// libcurl's global state is made once, before the first handle, whichever thread comes first.
void initialiseLibrary() {
    static const CURLcode initialised = curl_global_init(CURL_GLOBAL_DEFAULT);
    Q_UNUSED(initialised)
}

// A host name or an address, nothing that could change the rest of the URL.
bool isHost(const QString& host) {
    return !host.isEmpty() && std::all_of(host.begin(), host.end(), [](QChar c) {
        return (c.unicode() < 128 && c.isLetterOrNumber()) || c == u'.' || c == u'-' || c == u':';
    });
}

QByteArray urlOf(const HttpClient::Target& target, const QString& path) {
    const QString host = target.host.contains(u':') ? u'[' + target.host + u']' : target.host;
    const QString scheme = target.caFile.isEmpty() ? QStringLiteral("http") : QStringLiteral("https");
    return QStringLiteral("%1://%2:%3%4").arg(scheme, host).arg(target.port).arg(path).toUtf8();
}

}  // namespace

struct HttpClient::Handle {
    Handle(Target where, Limits bounds) : target(std::move(where)), limits(bounds) {
        initialiseLibrary();
        curl = curl_easy_init();
        configure();
    }
    ~Handle() { curl_easy_cleanup(curl); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;

    void configure() const {
        curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);  // time-outs must not raise signals in a threaded program
        curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(curl, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
        curl_easy_setopt(curl, CURLOPT_MAXCONNECTS, 1L);
        curl_easy_setopt(curl, CURLOPT_TCP_NODELAY, 1L);
        curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(limits.connectTimeout.count()));
        curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS,
                         static_cast<long>((limits.connectTimeout + limits.answerTimeout).count()));
        curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(limits.maxBodyBytes));
        curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorText);
        curl_easy_setopt(curl, CURLOPT_PREREQFUNCTION, &Handle::onConnected);
        curl_easy_setopt(curl, CURLOPT_PREREQDATA, this);
        curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &Handle::onHeader);
        curl_easy_setopt(curl, CURLOPT_HEADERDATA, this);
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Handle::onBody);
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, this);
        // The body is read through a callback that cannot rewind: libcurl then never sends a request a second
        // time by itself after a reused connection died, and the caller's rule alone decides.
        curl_easy_setopt(curl, CURLOPT_READFUNCTION, &Handle::onRequestBody);
        curl_easy_setopt(curl, CURLOPT_READDATA, this);
        if (!target.caFile.isEmpty()) {
            curl_easy_setopt(curl, CURLOPT_CAINFO, target.caFile.toLocal8Bit().constData());
            curl_easy_setopt(curl, CURLOPT_CAPATH, nullptr);  // the configured authority only
            curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
            curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
            curl_easy_setopt(curl, CURLOPT_SSLVERSION, static_cast<long>(CURL_SSLVERSION_TLSv1_2));
            curl_easy_setopt(curl, CURLOPT_SSL_CIPHER_LIST, wire::Tls12Ciphers);
        }
    }

    static int onConnected(void* self, char*, char*, int, int) {
        static_cast<Handle*>(self)->connected = true;
        return CURL_PREREQFUNC_OK;
    }

    static size_t onHeader(char*, size_t size, size_t count, void* self) {
        auto& handle = *static_cast<Handle*>(self);
        const qsizetype length = static_cast<qsizetype>(size * count);
        handle.answerBegan = true;
        handle.headerBytes += length;
        if (handle.headerBytes > handle.limits.maxHeaderBytes) {
            handle.tooLarge = true;
            return 0;
        }
        return static_cast<size_t>(length);
    }

    static size_t onBody(char* data, size_t size, size_t count, void* self) {
        auto& handle = *static_cast<Handle*>(self);
        const qsizetype length = static_cast<qsizetype>(size * count);
        if (handle.exchange.body.size() + length > handle.limits.maxBodyBytes) {
            handle.tooLarge = true;
            return 0;
        }
        handle.exchange.body.append(data, length);
        return static_cast<size_t>(length);
    }

    static size_t onRequestBody(char* buffer, size_t size, size_t count, void* self) {
        auto& handle = *static_cast<Handle*>(self);
        const qsizetype length =
            std::min(static_cast<qsizetype>(size * count), handle.request.size() - handle.requestSent);
        std::memcpy(buffer, handle.request.constData() + handle.requestSent, static_cast<size_t>(length));
        handle.requestSent += length;
        return static_cast<size_t>(length);
    }

    Exchange perform(const QString& path, const Headers& headers) {
        exchange = {};
        connected = answerBegan = tooLarge = false;
        headerBytes = 0;
        errorText[0] = '\0';
        if (!isHost(target.host)) {
            exchange.failure = Failure::BadAddress;
            return exchange;
        }
        curl_slist* lines = curl_slist_append(nullptr, "Accept: application/json");
        lines = curl_slist_append(lines, "Expect:");  // small bodies need no round trip first
        for (const auto& [name, value] : headers) {
            lines = curl_slist_append(lines, QByteArray(name + ": " + value).constData());
        }
        curl_easy_setopt(curl, CURLOPT_HTTPHEADER, lines);
        curl_easy_setopt(curl, CURLOPT_URL, urlOf(target, path).constData());
        const auto started = SteadyClock::now();
        const CURLcode code = curl_easy_perform(curl);
        curl_easy_setopt(curl, CURLOPT_HTTPHEADER, nullptr);
        curl_slist_free_all(lines);
        if (code == CURLE_OK) {
            long status = 0;
            curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
            exchange.status = static_cast<int>(status);
            return exchange;
        }
        exchange.body.clear();
        exchange.failure = failureOf(code);
        exchange.detail = QString::fromUtf8(errorText[0] != '\0' ? errorText : curl_easy_strerror(code));
        exchange.closedUnanswered =
            (exchange.failure == Failure::Closed || exchange.failure == Failure::SendFailed) && !answerBegan &&
            SteadyClock::now() - started < limits.answerTimeout;
        return exchange;
    }

    Failure failureOf(CURLcode code) const {
        if (tooLarge) {
            return Failure::TooLarge;
        }
        switch (code) {
            case CURLE_URL_MALFORMAT:
                return Failure::BadAddress;
            case CURLE_COULDNT_RESOLVE_HOST:
            case CURLE_COULDNT_CONNECT:
                return Failure::Refused;
            case CURLE_OPERATION_TIMEDOUT:
                return connected ? Failure::AnswerTimeout : Failure::ConnectTimeout;
            case CURLE_GOT_NOTHING:
            case CURLE_SEND_FAIL_REWIND:
                return Failure::Closed;
            case CURLE_RECV_ERROR:
            case CURLE_PARTIAL_FILE:
            case CURLE_WEIRD_SERVER_REPLY:
                return answerBegan ? Failure::BadAnswer : Failure::Closed;
            case CURLE_SEND_ERROR:
                return Failure::SendFailed;
            case CURLE_FILESIZE_EXCEEDED:
            case CURLE_OUT_OF_MEMORY:  // a header line beyond libcurl's own limit
                return Failure::TooLarge;
            case CURLE_SSL_CONNECT_ERROR:
                return Failure::Tls;
            case CURLE_SSL_CACERT_BADFILE:
                return Failure::CaFileUnreadable;
            case CURLE_PEER_FAILED_VERIFICATION:
                return Failure::Certificate;
            default:
                return Failure::Other;
        }
    }

    CURL* curl = nullptr;
    Target target;
    Limits limits;
    char errorText[CURL_ERROR_SIZE] = {};
    // The exchange under way.
    Exchange exchange;
    QByteArray request;
    qsizetype requestSent = 0;
    qsizetype headerBytes = 0;
    bool connected = false;
    bool answerBegan = false;
    bool tooLarge = false;
};

HttpClient::HttpClient(Target target, Limits limits)
    : m_handle(std::make_unique<Handle>(std::move(target), limits)) {}

HttpClient::~HttpClient() = default;

HttpClient::Exchange HttpClient::get(const QString& path, const Headers& headers) {
    curl_easy_setopt(m_handle->curl, CURLOPT_HTTPGET, 1L);
    return m_handle->perform(path, headers);
}

HttpClient::Exchange HttpClient::post(const QString& path, const QByteArray& body, const Headers& headers) {
    m_handle->request = body;
    m_handle->requestSent = 0;
    curl_easy_setopt(m_handle->curl, CURLOPT_POST, 1L);
    curl_easy_setopt(m_handle->curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    return m_handle->perform(path, headers);
}
