#include <cstdio>
int main() { std::puts("tq9"); return 0; }
