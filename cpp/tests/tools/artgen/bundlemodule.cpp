// A library with the resource bundle linked in and nothing else.
extern "C" int quorixBundleModule()
{
    return 1;
}
