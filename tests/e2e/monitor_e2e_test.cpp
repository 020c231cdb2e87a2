// SPDX-License-Identifier: MIT
// corvel monitor against plcsim on the namespaced wire: a real Prometheus server, started inside
// the host's namespace with a configuration of the test's own, scrapes it every second and is
// asked through its HTTP query API; promtool checks a scrape and the shipped alerting rules;
// the JSON-lines events are read one by one as they come, and a SIGTERM ends the run cleanly.
#include <signal.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <thread>

#include "tests/e2e/netns_run.h"

namespace corvel::e2e::monitor {
namespace {

using Json = nlohmann::json;

const char* const kNear = "00:B0:52:00:00:21";   // stays
const char* const kLeaves = "00:B0:52:00:00:22";  // leaves, and in the events test comes back
// The simulator's rate bytes for kNear: the device's own Mbit/s, exposed in bytes per second.
constexpr int kNearTxByte = 151;
constexpr int kNearRxByte = 140;
constexpr double kNearTxBytesPerSecond = kNearTxByte * 1e6 / 8;
constexpr double kNearRxBytesPerSecond = kNearRxByte * 1e6 / 8;

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeFile(const std::filesystem::path& path, const std::string& text) {
    std::ofstream(path) << text;
}

std::string scenario(const std::string& leaving) {
    return R"({"ports": [{"interface": "plc0", "local": {"mac": "00:B0:52:00:00:20"},
        "stations": [
          {"mac": ")" + std::string(kNear) + R"(", "rates": {"avTx": )" +
           std::to_string(kNearTxByte) + R"(, "avRx": )" + std::to_string(kNearRxByte) + R"(}},
          {"mac": ")" + std::string(kLeaves) + R"(", "rates": {"avTx": 76, "avRx": 70},
           "link": {)" + leaving + R"(}}]}]})";
}

// The value of the one series a PromQL query returned, or nullopt when it returned none.
std::optional<double> valueOf(const Json& response) {
    if (!response.is_object() || response.value("status", "") != "success") return std::nullopt;
    const Json& result = response["data"]["result"];
    if (!result.is_array() || result.size() != 1) return std::nullopt;
    return std::stod(result[0]["value"][1].get<std::string>());
}

Json parsedFile(const std::filesystem::path& path) {
    const std::string text = readFile(path);
    return Json::parse(text.empty() ? "null" : text, nullptr, false);
}

class MonitorEndToEnd : public NamespacedTest {};

// Inside the host's namespace: corvel monitor serving its metrics, a Prometheus server scraping
// them every second into a store in the scratch directory, and queries of its HTTP API until
// each awaited answer came (or a deadline passed). Each answer lands in a file for the test.
constexpr char kPrometheusScript[] = R"SH(#!/bin/sh
dir=$1; corvel=$2; near=$3; leaves=$4
cat >"$dir/prometheus.yml" <<EOF
global:
  scrape_interval: 1s
  evaluation_interval: 1s
scrape_configs:
  - job_name: corvel
    static_configs:
      - targets: ['127.0.0.1:9647']
EOF
"$corvel" monitor --listen 127.0.0.1:9647 --data-dir "$dir/data" >"$dir/monitor.out" 2>"$dir/monitor.err" &
monitor=$!
prometheus --config.file="$dir/prometheus.yml" --storage.tsdb.path="$dir/tsdb" \
  --web.listen-address=127.0.0.1:9090 >"$dir/prometheus.log" 2>&1 &
server=$!
query() {
  curl -sf --max-time 2 http://127.0.0.1:9090/api/v1/query --data-urlencode "query=$1"
}
# Waits up to $2 seconds for the query $1 to return one series of value $3 (any value when
# empty); the last answer goes to the file $4.
await() {
  deadline=$(( $(date +%s) + $2 ))
  while [ "$(date +%s)" -lt "$deadline" ]; do
    answer=$(query "$1")
    echo "$answer" >"$4"
    case "$answer" in
      *'"result":[{'*'"value":['*",\"$3"*) return 0 ;;
    esac
    sleep 0.5
  done
  return 1
}
await "corvel_station_phy_rate_bytes_per_second{mac=\"$near\",direction=\"tx\"}" 40 "" "$dir/tx.json"
await "corvel_station_present{mac=\"$leaves\"}" 20 1 "$dir/present-before.json"
query "corvel_station_phy_rate_bytes_per_second{mac=\"$near\",direction=\"rx\"}" >"$dir/rx.json"
curl -sf --max-time 2 http://127.0.0.1:9647/metrics >"$dir/scrape.txt"
await "corvel_station_present{mac=\"$leaves\"}" 60 0 "$dir/present-after.json"
# The series of a station that left stays, and its rate goes.
query "corvel_station_phy_rate_bytes_per_second{mac=\"$leaves\"}" >"$dir/rate-after.json"
kill -TERM "$monitor"
wait "$monitor"
echo $? >"$dir/monitor.status"
kill -TERM "$server"
wait "$server"
exit 0
)SH";

TEST_F(MonitorEndToEnd, PrometheusReadsTheSimulatorsRatesAndAStationsDeparture) {
    const std::filesystem::path scenarioPath = dir / "scenario.json";
    writeFile(scenarioPath, scenario(R"("leaveAfterMs": 12000)"));
    const std::filesystem::path script = dir / "prometheus.sh";
    writeFile(script, kPrometheusScript);
    const CommandResult run = runInNamespaces(
        scenarioPath.string(), "",
        {"sh", script.string(), dir.string(), binaryPath("app/corvel"), kNear, kLeaves});
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    const std::string log = readFile(dir / "monitor.err") + readFile(dir / "prometheus.log");

    EXPECT_EQ(valueOf(parsedFile(dir / "tx.json")), kNearTxBytesPerSecond)
        << readFile(dir / "tx.json") << log;
    EXPECT_EQ(valueOf(parsedFile(dir / "rx.json")), kNearRxBytesPerSecond)
        << readFile(dir / "rx.json") << log;
    EXPECT_EQ(parsedFile(dir / "rx.json").value("status", ""), "success") << readFile(dir / "rx.json");

    EXPECT_EQ(valueOf(parsedFile(dir / "present-before.json")), 1)
        << readFile(dir / "present-before.json") << log;
    EXPECT_EQ(valueOf(parsedFile(dir / "present-after.json")), 0)
        << readFile(dir / "present-after.json") << log;
    EXPECT_FALSE(valueOf(parsedFile(dir / "rate-after.json")).has_value())
        << readFile(dir / "rate-after.json");
    EXPECT_EQ(readFile(dir / "monitor.status"), "0\n") << log;

    // The scrape as Prometheus's own linter reads it: nothing to report.
    const std::string scrape = readFile(dir / "scrape.txt");
    ASSERT_NE(scrape.find("corvel_station_present{"), std::string::npos) << scrape;
    const CommandResult lint =
        runCommand({"sh", "-c", "promtool check metrics < \"$0\"", (dir / "scrape.txt").string()});
    EXPECT_EQ(lint.status, 0) << lint.out << lint.err;
    EXPECT_EQ(lint.out + lint.err, "");
}

// Inside the host's namespace: corvel monitor, then 200 clients that connect to its metrics port
// and never finish a request (half send nothing, half a byte every half second), reconnecting
// whenever the server drops them, as any local user could; beside them, five scrapes as
// Prometheus makes them, each allowed Prometheus' default scrape time-out of 10 s. The number
// that succeeded goes to "scrapes".
constexpr char kSlowClientsScript[] = R"SH(#!/bin/sh
dir=$1; corvel=$2
"$corvel" monitor --listen 127.0.0.1:9647 --data-dir "$dir/data" >"$dir/monitor.out" 2>&1 &
monitor=$!
tries=0
until curl -sf --max-time 2 -o /dev/null http://127.0.0.1:9647/metrics; do
  tries=$((tries + 1)); [ "$tries" -gt 100 ] && break; sleep 0.2
done
cat >"$dir/slow.py" <<'PYTHON'
import socket, time
request = b"GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\n"
clients = {}
def connect(i):
    s = socket.socket()
    s.setblocking(False)
    try:
        s.connect(("127.0.0.1", 9647))
    except BlockingIOError:
        pass
    clients[i] = [s, 0]
for i in range(200):
    connect(i)
while True:
    time.sleep(0.5)
    for i, (s, sent) in list(clients.items()):
        try:
            if i % 2 == 0:
                at = sent % len(request)
                s.send(request[at:at + 1])
                clients[i][1] += 1
            elif s.recv(1, socket.MSG_PEEK) == b"":
                raise ConnectionResetError
        except BlockingIOError:
            pass
        except OSError:
            s.close()
            connect(i)
PYTHON
python3 "$dir/slow.py" &
slow=$!
sleep 3
ok=0
for n in 1 2 3 4 5; do
  if curl -sf --max-time 10 http://127.0.0.1:9647/metrics | grep -q '^corvel_scans_total'; then
    ok=$((ok + 1))
  fi
  sleep 1
done
echo "$ok" >"$dir/scrapes"
kill "$slow"
kill -TERM "$monitor"
wait "$monitor"
exit 0
)SH";

TEST_F(MonitorEndToEnd, TwoHundredSlowClientsDoNotKeepScrapesOut) {
    const std::filesystem::path scenarioPath = dir / "scenario.json";
    writeFile(scenarioPath, scenario(""));
    const std::filesystem::path script = dir / "slow.sh";
    writeFile(script, kSlowClientsScript);
    const CommandResult run = runInNamespaces(
        scenarioPath.string(), "", {"sh", script.string(), dir.string(), binaryPath("app/corvel")});
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_EQ(readFile(dir / "scrapes"), "5\n") << readFile(dir / "monitor.out");
}

TEST(MonitorRules, TheShippedAlertingRulesAreValid) {
    const CommandResult check = runCommand(
        {"promtool", "check", "rules", sourcePath("packaging/prometheus/corvel-alerts.yml")});
    EXPECT_EQ(check.status, 0) << check.out << check.err;
    EXPECT_NE(check.out.find("SUCCESS: 5 rules found"), std::string::npos) << check.out;
}

// The alert for the monitor itself, evaluated by promtool over series of its test file: fires
// after 5 minutes of failed scrapes or of no scrape target at all, and ends when scrapes do.
TEST(MonitorRules, TheMonitorDownAlertFiresWhenItIsNotScraped) {
    const CommandResult test = runCommand(
        {"promtool", "test", "rules", sourcePath("tests/monitor/corvel_alerts_test.yml")});
    EXPECT_EQ(test.status, 0) << test.out << test.err;
    EXPECT_NE(test.out.find("SUCCESS"), std::string::npos) << test.out;
}

// Reads the events as corvel monitor prints them: each line is one JSON object, there the
// moment it happened. `stopWhen` decides, after each line, when the test has seen enough.
class EventReader {
public:
    explicit EventReader(const std::string& commandLine) {
        pipe_ = ::popen(commandLine.c_str(), "r");
    }
    ~EventReader() {
        if (pipe_ != nullptr) ::pclose(pipe_);
    }
    // The next line, or nullopt at the end of the output.
    std::optional<std::string> next() {
        if (pipe_ == nullptr) return std::nullopt;
        std::string line;
        for (int c = std::fgetc(pipe_); c != EOF; c = std::fgetc(pipe_)) {
            if (c == '\n') return line;
            line += char(c);
        }
        return line.empty() ? std::nullopt : std::optional(line);
    }
    int close() {
        const int raw = ::pclose(pipe_);
        pipe_ = nullptr;
        return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    }

private:
    FILE* pipe_ = nullptr;
};

std::string quoted(const std::string& word) {
    std::string out = "'";
    for (char c : word) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

TEST_F(MonitorEndToEnd, JsonLinesTellAStationLeavingAndComingBackAsItHappens) {
    const std::filesystem::path scenarioPath = dir / "scenario.json";
    writeFile(scenarioPath, scenario(R"("leaveAfterMs": 6000, "returnAfterMs": 20000)"));
    const std::filesystem::path pidFile = dir / "monitor.pid";
    // The monitor's process id is written down so that the test can stop it as systemd would.
    const std::string inner = "\"$0\" monitor --json-lines --data-dir \"$1\" & echo $! >\"$2\"; "
                              "wait $!";
    const std::string command =
        quoted(sourcePath("scripts/netns")) + " --plcsim " + quoted(binaryPath("app/plcsim")) +
        " " + quoted(scenarioPath.string()) + " -- sh -c " + quoted(inner) + " " +
        quoted(binaryPath("app/corvel")) + " " + quoted(dataDir.string()) + " " +
        quoted(pidFile.string()) + " 2>" + quoted((dir / "stderr.txt").string());
    EventReader reader(command);

    const std::regex time(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z)");
    std::vector<std::string> seen;  // "event mac" of every event about kLeaves, in order
    std::vector<std::string> lines;
    const auto start = std::chrono::steady_clock::now();
    const std::vector<std::string> expected{"stationAppeared", "stationLeft", "stationAppeared"};
    while (seen.size() < expected.size()) {
        const std::optional<std::string> line = reader.next();
        ASSERT_TRUE(line.has_value()) << "the output ended; lines so far:\n"
                                      << ::testing::PrintToString(lines)
                                      << readFile(dir / "stderr.txt");
        lines.push_back(*line);
        const Json event = Json::parse(*line, nullptr, false);
        ASSERT_TRUE(event.is_object()) << *line;
        ASSERT_TRUE(std::regex_match(event.value("time", ""), time)) << *line;
        if (event.value("mac", "") == kLeaves) seen.push_back(event.value("event", ""));
        // The departure and the return are told within a few scan cycles of their time.
        ASSERT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60))
            << ::testing::PrintToString(lines);
    }
    EXPECT_EQ(seen, expected) << ::testing::PrintToString(lines);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    // It left 6 s after the simulator started and came back at 20 s: the second appearance
    // cannot have been told before that.
    EXPECT_GE(elapsed, std::chrono::seconds(19));

    std::ifstream pidIn(pidFile);
    pid_t pid = 0;
    ASSERT_TRUE(pidIn >> pid) << "no process id";
    ASSERT_EQ(::kill(pid, SIGTERM), 0);
    while (reader.next()) {
    }
    EXPECT_EQ(reader.close(), 0) << readFile(dir / "stderr.txt");
    // The list was saved as it ended: both stations in it.
    const CommandResult devices =
        runCommand({binaryPath("app/corvel"), "devices", "--json", "--data-dir", dataDir.string()});
    EXPECT_NE(devices.out.find(kLeaves), std::string::npos) << devices.out << devices.err;
    EXPECT_NE(devices.out.find(kNear), std::string::npos) << devices.out;
}

}  // namespace
}  // namespace corvel::e2e::monitor
