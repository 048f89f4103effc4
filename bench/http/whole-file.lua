-- Plain GETs of the whole image; only adds the exact summary line.
dofile((os.getenv("BENCH_LUA") or "bench/http") .. "/report.lua")
