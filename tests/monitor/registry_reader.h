// SPDX-License-Identifier: MIT
#pragma once

#include <prometheus/metric_family.h>
#include <prometheus/registry.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

// The series a registry would expose, read the way a scrape reads them: by metric name and
// labels, with the value of the metric's type.
namespace corvel::test {

using LabelSet = std::map<std::string, std::string>;

struct Series {
    LabelSet labels;
    double value = 0;
};

inline std::vector<Series> seriesOf(prometheus::Registry& registry, const std::string& name) {
    std::vector<Series> out;
    for (const prometheus::MetricFamily& family : registry.Collect()) {
        if (family.name != name) continue;
        for (const prometheus::ClientMetric& metric : family.metric) {
            Series series;
            for (const auto& label : metric.label) series.labels[label.name] = label.value;
            series.value = family.type == prometheus::MetricType::Counter ? metric.counter.value
                                                                         : metric.gauge.value;
            out.push_back(series);
        }
    }
    return out;
}

// The series whose labels include every one of `match`; nullopt when there is none. A test
// that expects one series fails if several match.
inline std::optional<double> valueOf(prometheus::Registry& registry, const std::string& name,
                                     const LabelSet& match = {}) {
    std::optional<double> found;
    int matches = 0;
    for (const Series& series : seriesOf(registry, name)) {
        bool all = true;
        for (const auto& [label, value] : match) {
            const auto it = series.labels.find(label);
            all = all && it != series.labels.end() && it->second == value;
        }
        if (!all) continue;
        found = series.value;
        ++matches;
    }
    return matches == 1 ? found : std::nullopt;
}

// How many series of `name` carry `label` = `value`.
inline int seriesWith(prometheus::Registry& registry, const std::string& name,
                      const std::string& label, const std::string& value) {
    int count = 0;
    for (const Series& series : seriesOf(registry, name)) {
        const auto it = series.labels.find(label);
        if (it != series.labels.end() && it->second == value) ++count;
    }
    return count;
}

}  // namespace corvel::test
