#pragma once
// Headless Chromium driven over its DevTools pipe: load a page, wait until a script expression
// says it is drawn, and read the document. A streamed page never finishes loading, so a plain
// dump could be taken before the first update arrives.

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <nlohmann/json.hpp>
#include <string>

#include "support/TempFolder.h"

class Browser {
  public:
    static constexpr const char* kProgram = "/usr/bin/chromium";

    Browser() {
        int in[2], out[2];
        if (::pipe(in) != 0 || ::pipe(out) != 0)
            return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(in[0], 3);
            ::dup2(out[1], 4);
            const std::string profile = "--user-data-dir=" + profile_.path();
            ::execl(kProgram, kProgram, "--headless", "--no-sandbox", "--disable-gpu",
                    "--disable-quic", "--no-first-run", "--disable-background-networking",
                    "--disable-component-update", "--disable-sync", profile.c_str(),
                    "--remote-debugging-pipe", "--enable-logging=stderr", "--log-level=3",
                    "about:blank", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(in[0]);
        ::close(out[1]);
        to_ = in[1];
        from_ = out[0];
    }
    ~Browser() {
        ::close(to_);
        ::close(from_);
        if (pid_ > 0 && ::kill(pid_, SIGKILL) == 0)  // never -1: that would be every process
            ::waitpid(pid_, nullptr, 0);
    }

    // The document of `url` once `ready` (a script expression) is true, or as it is after 8 s.
    std::string pageWhen(const std::string& url, const std::string& ready) {
        const auto target = call("Target.createTarget", {{"url", url}});
        const std::string session =
            call("Target.attachToTarget",
                 {{"targetId", target.value("targetId", "")}, {"flatten", true}})
                .value("sessionId", "");
        const std::string page = "document.documentElement.outerHTML";
        std::string dom;
        for (int tries = 0; tries <= 80 && dom.empty(); ++tries, ::usleep(100000))
            dom = call("Runtime.evaluate",
                       {{"expression", tries < 80 ? "(" + ready + ") ? " + page + " : ''" : page},
                        {"returnByValue", true}},
                       session)["result"]
                      .value("value", "");
        return dom;
    }

  private:
    // One DevTools command and its result (an empty object when the browser does not answer).
    nlohmann::json call(const std::string& method, const nlohmann::json& params,
                        const std::string& session = "") {
        nlohmann::json message = {{"id", ++id_}, {"method", method}, {"params", params}};
        if (!session.empty())
            message["sessionId"] = session;
        const std::string text = message.dump() + '\0';
        if (::write(to_, text.data(), text.size()) != ssize_t(text.size()))
            return nlohmann::json::object();
        for (char chunk[65536];;) {
            for (size_t end; (end = buffer_.find('\0')) != std::string::npos;) {
                const auto reply = nlohmann::json::parse(buffer_.substr(0, end), nullptr, false);
                buffer_.erase(0, end + 1);
                if (reply.is_object() && reply.value("id", 0) == id_)
                    return reply.value("result", nlohmann::json::object());
            }
            const ssize_t n = ::read(from_, chunk, sizeof chunk);
            if (n <= 0)
                return nlohmann::json::object();
            buffer_.append(chunk, size_t(n));
        }
    }

    TempFolder profile_;
    pid_t pid_ = -1;
    int to_ = -1, from_ = -1;
    int id_ = 0;
    std::string buffer_;
};
