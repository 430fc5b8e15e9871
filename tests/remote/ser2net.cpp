// SPDX-License-Identifier: GPL-3.0-or-later
#include "ser2net.h"

#include <fstream>
#include <map>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <random>
#include <sys/socket.h>
#include <unistd.h>

namespace rxdeck::remote::testing {

namespace {

using Clock = std::chrono::steady_clock;

using test::connectTo;

bool accepting(int port)
{
    return test::TcpPeer(port).connected();
}

} // namespace

Ser2net::Ser2net(const std::filesystem::path& folder, const std::string& device,
                 const std::string& rfc2217Default)
    : config_(folder / "ser2net.yaml"), output_(folder / "ser2net.out"), rawPort_(freePort()),
      rfc2217Port_(freePort())
{
    std::ofstream(config_) << "connection: &raw\n"
                           << "  accepter: tcp,127.0.0.1," << rawPort_ << "\n"
                           << "  connector: serialdev," << device << ",9600n81,local\n"
                           << "connection: &rfc2217\n"
                           << "  accepter: telnet(rfc2217),tcp,127.0.0.1," << rfc2217Port_ << "\n"
                           << "  connector: serialdev," << device << "," << rfc2217Default
                           << ",local\n";
}

bool Ser2net::installed()
{
    return std::filesystem::exists("/usr/sbin/ser2net") || test::onPath("ser2net");
}

bool Ser2net::start()
{
    const char* program = test::onPath("ser2net") ? "ser2net" : "/usr/sbin/ser2net";
    // -d: in the foreground, its log on stdout; -u: no UUCP lock files, which need root.
    process_ = std::make_unique<test::ChildProcess>(
        std::vector<std::string>{program, "-d", "-u", "-c", config_.string()},
        test::ChildProcess::Options{.output = output_});
    const auto deadline = Clock::now() + 10s;
    while (Clock::now() < deadline && process_->running()) {
        if (accepting(rawPort_) && accepting(rfc2217Port_))
            return true;
        std::this_thread::sleep_for(50ms);
    }
    return false;
}

void Ser2net::stop()
{
    if (process_)
        process_->stop();
    process_.reset();
}

SlowRelay::SlowRelay(int target, std::chrono::milliseconds delay, std::size_t splitAt,
                     std::chrono::milliseconds gap, std::chrono::milliseconds jitter,
                     int shiftEvery)
    : target_(target), delay_(delay), splitAt_(splitAt), gap_(gap), jitter_(jitter),
      shiftEvery_(shiftEvery)
{
    std::tie(listener_, port_) = test::listening();
    thread_ = std::thread([this] { run(); });
}

SlowRelay::~SlowRelay()
{
    stop_ = true;
    thread_.join();
    ::close(listener_);
}

void SlowRelay::stall(std::chrono::milliseconds duration)
{
    stallUntil_ = (Clock::now() + duration).time_since_epoch().count();
}

void SlowRelay::run()
{
    std::minstd_rand random(7);
    std::uniform_int_distribution<long> spread(-jitter_.count(), jitter_.count());
    int statusReplies = 0;
    int client = -1, server = -1;
    // Pieces due for sending, by time: to the client (true) or to the server (false).
    std::multimap<Clock::time_point, std::pair<bool, std::string>> due;
    Clock::time_point lastDue[2]{};
    const auto hangUp = [&] {
        ::close(client);
        ::close(server);
        client = server = -1;
        due.clear();
    };
    while (!stop_) {
        if (Clock::now().time_since_epoch().count() < stallUntil_) {
            std::this_thread::sleep_for(5ms);
            continue;
        }
        pollfd fds[3] = {{listener_, POLLIN, 0}, {client, POLLIN, 0}, {server, POLLIN, 0}};
        ::poll(fds, 3, 5);
        if ((fds[0].revents & POLLIN) != 0) {
            const int accepted = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            hangUp();
            client = accepted;
            server = connectTo(target_);
            const int on = 1;
            ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            if (server < 0)
                hangUp();
            continue; // what poll saw belongs to the connections just closed
        }
        char buffer[4096];
        const auto now = Clock::now();
        for (const bool toClient : {false, true}) {
            const pollfd& from = fds[toClient ? 2 : 1];
            if (from.fd < 0 || (from.revents & (POLLIN | POLLHUP | POLLERR)) == 0)
                continue;
            const ssize_t n = ::read(from.fd, buffer, sizeof buffer);
            if (n <= 0) {
                hangUp();
                break;
            }
            // Never before an earlier piece the same way: the relay keeps the byte order.
            auto& last = lastDue[toClient ? 1 : 0];
            const auto after = [&](Clock::time_point at) { return last = std::max(at, last); };
            std::string piece(buffer, static_cast<std::size_t>(n));
            if (toClient && shiftEvery_ > 0 && piece.starts_with("FRQ ") &&
                ++statusReplies % shiftEvery_ == 0)
                piece.erase(4, 1);
            const auto delay = delay_ + std::chrono::milliseconds(spread(random));
            if (toClient && piece.size() > splitAt_) {
                due.emplace(after(now + delay), std::pair(true, piece.substr(0, splitAt_)));
                due.emplace(after(now + delay + gap_), std::pair(true, piece.substr(splitAt_)));
            } else {
                due.emplace(after(now + delay), std::pair(toClient, std::move(piece)));
            }
        }
        while (!due.empty() && due.begin()->first <= Clock::now() && client >= 0) {
            const auto& [toClient, bytes] = due.begin()->second;
            (void)!::write(toClient ? client : server, bytes.data(), bytes.size());
            due.erase(due.begin());
        }
    }
    hangUp();
}

} // namespace rxdeck::remote::testing
