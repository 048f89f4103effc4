-- One random 512-byte block of the image per request, as the card reads a mounted drive.
-- BENCH_PATH names the image, BENCH_SIZE its size in bytes.
local path = os.getenv("BENCH_PATH") or "/bench.hdv"
local blocks = math.floor(tonumber(os.getenv("BENCH_SIZE") or "33554432") / 512)
dofile((os.getenv("BENCH_LUA") or "bench/http") .. "/report.lua")

local counter = 0
function setup(thread)
   counter = counter + 1
   thread:set("seed", counter)
end

function init(args)
   math.randomseed(os.time() * 1000 + (seed or 0))
end

function request()
   local start = math.random(0, blocks - 1) * 512
   return wrk.format("GET", path, { ["Range"] = "bytes=" .. start .. "-" .. (start + 511) })
end
