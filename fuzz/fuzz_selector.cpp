// Selectors, pages and Ignore patterns from the fuzzer (selector NUL page NUL pattern): parsing
// never fails without a reason, the matcher that remembers its way up agrees with asking each
// element afresh, and a pattern's removal leaves no more lines than there were.
#include "check/CssSelector.h"
#include "check/PageFilter.h"
#include "check/PageText.h"

#include <QByteArray>
#include <cstdlib>
#include <gumbo.h>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    const qsizetype split = input.indexOf('\0');
    const QString text = QString::fromUtf8(split < 0 ? input : input.left(split));
    QByteArray html = split < 0 ? QByteArray("<p>x</p>") : input.mid(split + 1);
    const qsizetype second = html.indexOf('\0');
    if (second >= 0) {
        const QString pattern = QString::fromUtf8(html.mid(second + 1));
        html.truncate(second);
        const FilteredText whole = PageFilter({}).Apply(html, "text/html");
        const FilteredText left = PageFilter({{}, {pattern}}).Apply(html, "text/html");
        const bool invalid =
            !left.problems.isEmpty() && left.problems.first().kind == RuleProblem::InvalidPattern;
        const bool gaveUp =
            !left.problems.isEmpty() && left.problems.first().kind == RuleProblem::GaveUp;
        if (invalid == PatternError(pattern).isEmpty() || left.lines.size() > whole.lines.size())
            abort();
        if ((invalid || gaveUp) && left.lines != whole.lines)
            abort();
    }
    QString error;
    const auto selector = CssSelector::Parse(text, &error);
    if (!selector) {
        if (error.isEmpty())
            abort();
        return 0;
    }
    (void)PageText::Extract(html, "text/html", &*selector);

    GumboOutput* output =
        gumbo_parse_with_options(&kGumboDefaultOptions, html.constData(), size_t(html.size()));
    CssSelector::Matcher matcher(*selector);
    std::vector<const GumboNode*> stack{output->root};
    for (int asked = 0; !stack.empty() && asked < 300; ++asked) {
        const GumboNode* node = stack.back();
        stack.pop_back();
        if (node->type != GUMBO_NODE_ELEMENT)
            continue;
        if (matcher(node) != selector->Matches(node))
            abort();
        const GumboVector& children = node->v.element.children;
        for (unsigned i = 0; i < children.length; ++i)
            stack.push_back(static_cast<const GumboNode*>(children.data[i]));
    }
    gumbo_destroy_output(&kGumboDefaultOptions, output);
    return 0;
}
