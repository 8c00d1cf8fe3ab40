// Page handlers of the alias table: the menu and the build.
#ifndef LDAPCGI_PAGES_ALIASTABLE_ALIAS_TABLE_PAGES_H
#define LDAPCGI_PAGES_ALIASTABLE_ALIAS_TABLE_PAGES_H

int AliasTableMenu();
int BuildAliasTable();

#endif
