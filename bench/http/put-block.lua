-- One 512-byte block write per request at a random block of the image, with the
-- Content-Range header the card sends. BENCH_PATH names the image, BENCH_SIZE its size.
local path = os.getenv("BENCH_PATH") or "/put.hdv"
local size = tonumber(os.getenv("BENCH_SIZE") or "33554432")
local blocks = math.floor(size / 512)
dofile((os.getenv("BENCH_LUA") or "bench/http") .. "/report.lua")

local counter = 0
function setup(thread)
   counter = counter + 1
   thread:set("seed", counter)
end

local body
function init(args)
   math.randomseed(os.time() * 1000 + (seed or 0))
   local bytes = {}
   for i = 1, 512 do
      bytes[i] = string.char(math.random(0, 255))
   end
   body = table.concat(bytes)
end

function request()
   local start = math.random(0, blocks - 1) * 512
   local range = "bytes " .. start .. "-" .. (start + 511) .. "/" .. size
   return wrk.format("PUT", path, { ["Content-Range"] = range }, body)
end
