// Linked with one layer's library whole and only the layers below it: a call
// from that layer up to one above it is left unresolved, and the link fails.
int main() { return 0; }
