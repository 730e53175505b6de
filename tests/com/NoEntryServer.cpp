// A library that a registration names but that offers no class objects.

extern "C" int vlTestNothingHere()
{
    return 0;
}
