// Placeholder until the Qt front-end lands.
int main() { return 0; }
