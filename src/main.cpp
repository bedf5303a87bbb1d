// Program entry: hands the command line to the application shell.
int main() { return 0; }
