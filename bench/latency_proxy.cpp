// A TCP relay that holds every piece of data DELAY_MS before passing it on,
// in each direction, so a server on this machine looks 2 x DELAY_MS round
// trip away. Pieces keep their order and do not hold one another back (the
// delay is the line's, not a bandwidth limit). A thread sleeps until each
// piece is due, which keeps the delay within a fraction of a millisecond.
//
//   latency_proxy TARGET_PORT DELAY_MS
//
// Listens on 127.0.0.1 and a free port, prints "PORT <n>", and relays every
// connection to 127.0.0.1:TARGET_PORT until it is killed.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// One direction: what was read, each piece with the time it is due.
class Line
{
public:
    void Put(Clock::time_point due, std::string piece)
    {
        {
            std::lock_guard lock(m_mutex);
            m_pieces.emplace_back(due, std::move(piece));
        }
        m_ready.notify_one();
    }

    // The next piece, empty at the end of the stream.
    std::pair<Clock::time_point, std::string> Take()
    {
        std::unique_lock lock(m_mutex);
        m_ready.wait(lock, [this] { return !m_pieces.empty(); });
        auto piece = std::move(m_pieces.front());
        m_pieces.pop_front();
        return piece;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::deque<std::pair<Clock::time_point, std::string>> m_pieces;
};

void NoDelay(int fd)
{
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

void Relay(int from, int to, Clock::duration delay)
{
    Line line;
    std::thread reader([&] {
        char buffer[65536];
        for (;;) {
            const ssize_t got = read(from, buffer, sizeof buffer);
            line.Put(Clock::now() + delay, got > 0 ? std::string(buffer, size_t(got)) : std::string());
            if (got <= 0)
                return;
        }
    });
    for (;;) {
        auto [due, piece] = line.Take();
        std::this_thread::sleep_until(due);
        if (piece.empty()) {
            shutdown(to, SHUT_WR);
            break;
        }
        for (size_t done = 0; done < piece.size();) {
            const ssize_t put = write(to, piece.data() + done, piece.size() - done);
            if (put <= 0) {
                shutdown(from, SHUT_RD); // the reader sees the end and stops
                reader.join();
                return;
            }
            done += size_t(put);
        }
    }
    reader.join();
}

void Serve(int client, int targetPort, Clock::duration delay)
{
    const int server = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(uint16_t(targetPort));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(server, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        NoDelay(client);
        NoDelay(server);
        std::thread back([&] { Relay(server, client, delay); });
        Relay(client, server, delay);
        back.join();
    }
    close(server);
    close(client);
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: latency_proxy TARGET_PORT DELAY_MS\n");
        return 2;
    }
    const int targetPort = std::atoi(argv[1]);
    const auto delay = std::chrono::microseconds(long(std::atof(argv[2]) * 1000));

    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    const int one = 1;
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(listener, 64) != 0
        || getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        std::perror("latency_proxy");
        return 1;
    }
    std::printf("PORT %d\n", ntohs(address.sin_port));
    std::fflush(stdout);
    for (;;) {
        const int client = accept(listener, nullptr, nullptr);
        if (client >= 0)
            std::thread(Serve, client, targetPort, delay).detach();
    }
}
