#include "fix/quickfix_support.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>

namespace vqs {
namespace fix {

namespace {

using Clock = std::chrono::steady_clock;

struct Socket {
    int fd = -1;
    ~Socket() {
        if (fd >= 0) ::close(fd);
    }
};

// Waits until the socket is ready for `events` or the deadline passes.
bool waitFor(int fd, short events, Clock::time_point deadline) {
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return false;
        pollfd p{fd, events, 0};
        const int n = ::poll(&p, 1, static_cast<int>(left));
        if (n > 0) return true;
        if (n < 0 && errno != EINTR) return false;
    }
}

std::string sslError() {
    const unsigned long code = ERR_get_error();
    if (code == 0) return "the server closed the connection";
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    return text;
}

}  // namespace

void checkTlsServer(const std::string& host, int port, const std::string& caFile, int timeoutMs) {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    const std::string where = host + ":" + std::to_string(port);

    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0 || !found)
        throw Error(where + ": host not found");
    std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> addresses(found, &::freeaddrinfo);
    Socket socket;
    socket.fd = ::socket(found->ai_family, found->ai_socktype | SOCK_NONBLOCK, found->ai_protocol);
    if (socket.fd < 0) throw Error(std::string("socket: ") + std::strerror(errno));
    if (::connect(socket.fd, found->ai_addr, found->ai_addrlen) != 0) {
        if (errno != EINPROGRESS) throw Error(where + ": " + std::strerror(errno));
        if (!waitFor(socket.fd, POLLOUT, deadline)) throw Error(where + ": no answer");
        int error = 0;
        socklen_t length = sizeof error;
        ::getsockopt(socket.fd, SOL_SOCKET, SO_ERROR, &error, &length);
        if (error != 0) throw Error(where + ": " + std::strerror(error));
    }

    std::unique_ptr<SSL_CTX, decltype(&SSL_CTX_free)> context(SSL_CTX_new(TLS_client_method()),
                                                              &SSL_CTX_free);
    if (!context) throw Error("TLS: " + sslError());
    SSL_CTX_set_min_proto_version(context.get(), TLS1_2_VERSION);
    const int loaded = caFile.empty()
                           ? SSL_CTX_set_default_verify_paths(context.get())
                           : SSL_CTX_load_verify_locations(context.get(), caFile.c_str(), nullptr);
    if (loaded != 1) throw Error("TLS authorities " + caFile + ": " + sslError());
    SSL_CTX_set_verify(context.get(), SSL_VERIFY_PEER, nullptr);
    std::unique_ptr<SSL, decltype(&SSL_free)> ssl(SSL_new(context.get()), &SSL_free);
    if (!ssl) throw Error("TLS: " + sslError());
    SSL_set_fd(ssl.get(), socket.fd);
    in6_addr address{};
    const bool isAddress = ::inet_pton(AF_INET, host.c_str(), &address) == 1 ||
                           ::inet_pton(AF_INET6, host.c_str(), &address) == 1;
    if (isAddress) {
        X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl.get()), host.c_str());
    } else {
        SSL_set_tlsext_host_name(ssl.get(), host.c_str());
        SSL_set1_host(ssl.get(), host.c_str());
    }
    for (;;) {
        ERR_clear_error();
        const int result = SSL_connect(ssl.get());
        if (result == 1) break;
        const int error = SSL_get_error(ssl.get(), result);
        if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) {
            if (!waitFor(socket.fd, error == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT, deadline))
                throw Error(where + ": no TLS answer");
            continue;
        }
        const long verified = SSL_get_verify_result(ssl.get());
        if (verified != X509_V_OK)
            throw Error(where +
                        ": certificate refused: " + X509_verify_cert_error_string(verified));
        throw Error(where + ": TLS: " + sslError());
    }
    SSL_shutdown(ssl.get());
}

}  // namespace fix
}  // namespace vqs
