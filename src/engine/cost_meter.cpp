#include "engine/cost_meter.h"

#include <cstdio>

std::string CostMeter::Describe(const char* name) const {
    char line[160];
    std::snprintf(line, sizeof line, "%s %lld %.3f %.3f", name, static_cast<long long>(Count()),
                  MeanMs(), WorstMs());
    return line;
}
