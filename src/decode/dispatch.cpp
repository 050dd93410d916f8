#include "decode/dispatch.h"

namespace sorrel {

namespace {

bool matches(const DispatchRule &rule, QStringView t)
{
    switch (rule.test) {
    case DispatchRule::Test::TailAndSecond:
        return t.size() >= 32 && t[30] == u'D' && t[31] == u'A' && t[1] == rule.second;
    case DispatchRule::Test::Head:
        return t.size() >= 10 && t.first(10) == u"03603FAD6B";
    }
    return false;
}

} // namespace

std::optional<Family> dispatchFamily(std::span<const DispatchRule> table, QStringView frameText)
{
    for (const DispatchRule &rule : table)
        if (matches(rule, frameText))
            return rule.family;
    return std::nullopt;
}

} // namespace sorrel
