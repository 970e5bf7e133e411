// Selectors and pages from the fuzzer: parsing never fails without a reason, and the matcher
// that remembers its way up agrees with asking each element afresh.
#include "check/CssSelector.h"
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
    const QByteArray html = split < 0 ? QByteArray("<p>x</p>") : input.mid(split + 1);
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
