// The buttons the pages share, the one-cell layout table, and the bar below
// a page's body: a row of cells (Go back, Reset, a command's submit) on the
// left and Help on the right. Topics, commands, labels and attributes are markup
// constants of the caller; hidden field values are escaped here.
#ifndef LDAPCGI_HTML_FORM_BUTTONS_H
#define LDAPCGI_HTML_FORM_BUTTONS_H

#include <initializer_list>

struct HiddenField {
    const char* name;
    const char* value;
};

// The one-cell layout table around a page's body or its button bar.
void PrintLayoutStart();
void PrintLayoutEnd();

// Where the Help button stands: inside the page's form or in one of its own.
enum class HelpIn { kPageForm, kOwnForm };

// The Help button opening the help page `topic` in a popup.
void PrintHelpButton(const char* indent, const char* topic);
void PrintGoBackButton(const char* indent, bool newline = true);

// Cells of the bar's row.
void PrintGoBackCell(bool ownForm);
void PrintResetCell();
// The hidden `fields` in order and the submit button `name` labelled
// `label`, in a form of its own opened after `formIndent`; with a null
// `formIndent` the cell is part of the page's form.
void PrintCommandCell(std::initializer_list<HiddenField> fields, const char* name, const char* label,
                      const char* formIndent = "\t\t\t\t");

// The bar: its start and row (`rowAttributes` may be ""), the cells, then
// the end with the Help cell (`<td helpAttributes>`), which closes the bar.
void PrintButtonBarStart(const char* rowAttributes);
void PrintButtonBarEnd(const char* helpAttributes, HelpIn where, const char* topic);
void PrintHelpCell(const char* attributes, HelpIn where, const char* topic);

#endif
