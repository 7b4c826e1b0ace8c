// tests/layers/LayerAlone.cpp: an empty program that one layer's library is
// linked into whole; it is built, never run.
int main()
{
    return 0;
}
