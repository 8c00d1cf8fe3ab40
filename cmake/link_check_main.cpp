// Empty program of the link checks: linked with one whole library and its
// declared dependencies only, it fails to link when the library calls a
// folder it does not declare.
int main() { return 0; }
