// The main program: serves one CGI request per process.
int main() { return 0; }
