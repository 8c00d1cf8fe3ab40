// Page handlers of mail aliases: the alias forms and the alias changes.
#ifndef LDAPCGI_PAGES_ALIASES_ALIAS_PAGES_H
#define LDAPCGI_PAGES_ALIASES_ALIAS_PAGES_H

int NewAlias(const char* mail);
int ViewAlias(const char* mail, const char* mailAlias);
int EditAlias(const char* mail, const char* mailAlias);
int DeleteAlias(const char* mail, const char* mailAlias);
int ConfirmDeleteAlias(const char* mail, const char* mailAlias);
int UpdateAlias(const char* mail, const char* mailAlias, const char* oldMailAlias);

#endif
