// A devserver with the demo shop, and curl as the browser with a cookie jar of its own.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "devserver/tests/Harness.h"

namespace dstest {

class RunTime : public ::testing::Test {
protected:
    void SetUp() override {
        if (FindProgram("curl").empty()) GTEST_SKIP() << "curl is not installed";
    }
    // curl with the test's cookie jar; the answer with its header.
    std::string Curl(std::vector<std::string> args, Server* on = nullptr) {
        std::vector<std::string> argv = {"curl", "-sS", "-i", "--path-as-is", "--max-time",
                                         "60",   "-c",  jar,  "-b",           jar};
        argv[0] = FindProgram("curl");
        for (auto& a : args)
            if (a.rfind("/", 0) == 0) a = Url(a, on ? *on : s);
        argv.insert(argv.end(), args.begin(), args.end());
        return RunProgram(argv, s.Dir() / "curl.err").out;
    }
    static std::string Url(const std::string& path, const Server& on) {
        return "http://127.0.0.1:" + std::to_string(on.Port()) + path;
    }
    // Logs the demo's Run user in by a form post, as the shop's login form does.
    std::string LogIn(const std::string& password = "shopper") {
        return Curl({"--data-urlencode", "server_request=server_login(user,password)", "-d",
                     "user=shopper", "-d", "password=" + password, "/demo/index.html"});
    }
    // The session key the jar holds for the demo.
    std::string SessionKey() const {
        std::string key;
        const std::string text = ReadFile(jar);
        for (std::size_t at = 0, end; at < text.size(); at = end + 1) {
            end = text.find('\n', at);
            if (end == std::string::npos) end = text.size();
            const std::string line = text.substr(at, end - at);
            const std::size_t tab = line.rfind('\t');
            if (tab != std::string::npos && line.find("\tjsessionid\t") != std::string::npos)
                key = line.substr(tab + 1);
        }
        return key;
    }
    static bool Has(const std::string& text, const std::string& part) {
        return text.find(part) != std::string::npos;
    }
    static int Status(const std::string& answer) {
        return answer.rfind("HTTP/1.1 ", 0) == 0 ? std::atoi(answer.c_str() + 9) : 0;
    }
    Server s{{"--seed-demo", "--max-result-rows", "50", "--sql-time-limit-ms", "1000",
              "--max-data-mb", "1", "--max-run-sessions", "40",
              "--max-anonymous-sessions-per-address", "8", "--max-held-mb", "1"}};
    std::string jar = s.Dir() / "cookies.txt";
};

}  // namespace dstest
