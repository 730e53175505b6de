#pragma once
// Visits every node of an expression tree without recursion, so a tree of any depth costs no stack,
// and every expression of a sheet.

#include "ReportTemplate.h"

#include <vector>

namespace vl {

template <class Visitor> void visitExpression(const Expression& root, Visitor&& visit)
{
    std::vector<const Expression*> pending{&root};
    while (!pending.empty()) {
        const Expression* node = pending.back();
        pending.pop_back();
        visit(*node);
        for (const auto& argument : node->args)
            if (argument)
                pending.push_back(argument.get());
    }
}

// Every node of every expression the sheet holds: cell texts, hyperlinks, style expressions, visible=,
// image sources, chart points and the groups' by=.
template <class Visitor> void forEachExpression(const TemplateSheet& sheet, Visitor&& visit)
{
    auto one = [&](const std::shared_ptr<const Expression>& expression) {
        if (expression)
            visitExpression(*expression, visit);
    };
    auto band = [&](const TemplateBand& b) {
        one(b.visible);
        for (const TemplateCell& cell : b.cells) {
            for (const TextSegment& segment : cell.segments)
                one(segment.expression);
            for (const TextSegment& segment : cell.href)
                one(segment.expression);
            for (const StyleExpression& style : cell.styleExpressions)
                one(style.expression);
            one(cell.visible);
            if (cell.image)
                for (const TextSegment& segment : cell.image->src)
                    one(segment.expression);
            if (cell.chart) {
                one(cell.chart->category);
                one(cell.chart->value);
            }
        }
    };
    auto groups = [&](const std::vector<TemplateGroup>& chain) {
        for (const TemplateGroup& group : chain) {
            one(group.by);
            for (const TemplateBand& b : group.headers)
                band(b);
            for (const TemplateBand& b : group.footers)
                band(b);
        }
    };
    for (const TemplateBand& b : sheet.bands)
        band(b);
    groups(sheet.masterGroups);
    for (const auto& entry : sheet.detailGroups)
        groups(entry.second);
}

} // namespace vl
