// Page handlers of mail aliases: the alias forms and the alias changes.
#ifndef LDAPCGI_PAGES_ALIASES_ALIAS_PAGES_H
#define LDAPCGI_PAGES_ALIASES_ALIAS_PAGES_H

void NewAlias(const char* mail);
void ViewAlias(const char* mail, const char* mailAlias);
void EditAlias(const char* mail, const char* mailAlias);
void DeleteAlias(const char* mail, const char* mailAlias);
void ConfirmDeleteAlias(const char* mail, const char* mailAlias);
void UpdateAlias(const char* mail, const char* mailAlias, const char* oldMailAlias);

#endif
