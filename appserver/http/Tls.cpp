#include "http/Tls.h"

#include "server/WireFormat.h"

#include <boost/asio/ssl/context.hpp>

#include <openssl/err.h>

#include <array>
#include <stdexcept>

namespace http {
namespace {

QString openSslError() {
    std::array<char, 256> text{};
    ERR_error_string_n(ERR_get_error(), text.data(), text.size());
    return QString::fromLatin1(text.data());
}

[[noreturn]] void tlsFailure(const QString& what) {
    throw std::runtime_error(QStringLiteral("%1: %2").arg(what, openSslError()).toStdString());
}

}  // namespace

TlsContext loadTlsContext(const QString& certificateFile, const QString& keyFile) {
    auto context = std::make_shared<boost::asio::ssl::context>(boost::asio::ssl::context::tls_server);
    SSL_CTX* native = context->native_handle();
    if (SSL_CTX_set_min_proto_version(native, TLS1_2_VERSION) != 1 ||
        SSL_CTX_set_cipher_list(native, wire::Tls12Ciphers) != 1) {
        tlsFailure(QStringLiteral("TLS context not created"));
    }
    SSL_CTX_set_options(native, SSL_OP_NO_RENEGOTIATION | SSL_OP_CIPHER_SERVER_PREFERENCE | SSL_OP_NO_COMPRESSION);
    if (SSL_CTX_use_certificate_chain_file(native, certificateFile.toLocal8Bit().constData()) != 1) {
        tlsFailure(QStringLiteral("certificate %1 not loaded").arg(certificateFile));
    }
    if (SSL_CTX_use_PrivateKey_file(native, keyFile.toLocal8Bit().constData(), SSL_FILETYPE_PEM) != 1) {
        tlsFailure(QStringLiteral("private key %1 not loaded").arg(keyFile));
    }
    if (SSL_CTX_check_private_key(native) != 1) {
        tlsFailure(QStringLiteral("private key %1 does not match certificate %2").arg(keyFile, certificateFile));
    }
    return context;
}

}  // namespace http
