// The page frame's texts written out from its templates (not produced by the
// code under test), so that tests can compare whole pages.
#ifndef LDAPCGI_TESTS_SUPPORT_PAGE_TEXTS_H
#define LDAPCGI_TESTS_SUPPORT_PAGE_TEXTS_H

#include <string>

namespace pagetexts {

// From the Content-type line through the title banner.
std::string Header(const std::string& title);
// The bottom banner.
std::string Footer();
// The "Result" box holding `message`.
std::string ResultBox(const std::string& message);
// The closing line of a page.
std::string PageEnd();
// The Help button opening the help page `topic`, after `tabs`.
std::string Help(const std::string& tabs, const std::string& topic);
// The button bar: its start (`row` the row's attributes, may be ""), its
// Go back and Reset cells, and its end with the Help cell.
std::string BarStart(const std::string& row);
std::string GoBackCell(bool ownForm);
std::string ResetCell();
std::string BarEnd(const std::string& helpCell, bool helpForm, const std::string& topic);
// A complete failure page: header, result box, page end.
std::string ResultPage(const std::string& title, const std::string& message);

}  // namespace pagetexts

#endif
