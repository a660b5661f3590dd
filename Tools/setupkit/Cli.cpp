// placeholder until the commands land
void setupkit_cli_placeholder() {}
