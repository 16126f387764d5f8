/* The sample program carries resources only; running it does nothing. */
int main(void) { return 0; }
