-- qpsp.lua - dissector of the QpUtils smart packet for tshark and Wireshark.
--
-- On a stream (TCP, port QP.default_port) every packet is framed: marker 01 2C 75 98, a signed
-- big-endian size, then the image from its magic "FSP2" on; a peer that ends its stream sends
-- the end marker 01 2B 39 97 instead of a packet marker. In a datagram (UDP, same port) the
-- packet travels bare, starting with the magic. Fields follow the magic back to back: a signed
-- 16-bit code, an 8-bit type, a 24-bit value length and the value, all big-endian.
--
-- Every field shows as one line, exactly as the library's packet dump prints it
-- ("NAME type=TYPE value=VALUE"), with its code, type, length and typed value below. Names come
-- from the family named by the packet's NET_MESSAGEID field, falling back to the base table;
-- the tables (QP.*) are generated from the library itself, above this text. A bytearray value
-- that is itself a well-formed packet (every array is one) is shown nested, its fields named as
-- a plain packet names them.
--
-- Input from the wire is checked before each read: a truncated or overlong field, a negative
-- size or an unknown marker is reported as a protocol error and ends the packet's dissection.
--
-- Install: copy to the personal Lua plugin folder (tshark -G folders), or load it for one run
-- with tshark -X lua_script:qpsp.lua. Other ports: -d tcp.port==PORT,qpsp -d udp.port==PORT,qpsp.

local PACKET_MARKER = 0x012C7598
local END_MARKER = 0x012B3997
local MAGIC = "FSP2"
local FIELD_HEADER = 6
local MAX_NESTING = 16

local T_INTEGER, T_STRING, T_BYTEARRAY, T_LONG, T_BOOLEAN, T_SHORT = 1, 2, 3, 7, 8, 10
-- The fixed value lengths of the number types; a number of another length is malformed.
local NUMBER_LENGTHS = { [T_INTEGER] = 4, [T_LONG] = 8, [T_BOOLEAN] = 1, [T_SHORT] = 2 }

local qpsp = Proto("qpsp", "QpUtils smart packet")

local pf = {
  marker = ProtoField.uint32("qpsp.marker", "Packet marker", base.HEX),
  end_marker = ProtoField.uint32("qpsp.end_marker", "End marker", base.HEX),
  size = ProtoField.int32("qpsp.size", "Size", base.DEC),
  magic = ProtoField.string("qpsp.magic", "Magic"),
  family = ProtoField.string("qpsp.family", "Message family"),
  field = ProtoField.none("qpsp.field", "Field"),
  code = ProtoField.int16("qpsp.field.code", "Code", base.DEC),
  name = ProtoField.string("qpsp.field.name", "Name"),
  ftype = ProtoField.uint8("qpsp.field.type", "Type", base.DEC, QP.type_names),
  length = ProtoField.uint24("qpsp.field.length", "Value length", base.DEC),
  integer = ProtoField.int32("qpsp.field.integer", "Integer", base.DEC),
  long = ProtoField.int64("qpsp.field.long", "Long", base.DEC),
  boolean = ProtoField.uint8("qpsp.field.boolean", "Boolean", base.DEC),
  short = ProtoField.int16("qpsp.field.short", "Short", base.DEC),
  string = ProtoField.string("qpsp.field.string", "String"),
  bytes = ProtoField.bytes("qpsp.field.bytes", "Bytes"),
  nested = ProtoField.none("qpsp.nested", "Nested packet"),
}
qpsp.fields = pf

local ef = {
  malformed = ProtoExpert.new("qpsp.malformed", "Malformed smart packet", expert.group.MALFORMED,
                              expert.severity.ERROR),
  unknown_type = ProtoExpert.new("qpsp.unknown_type", "Field type without a name",
                                 expert.group.PROTOCOL, expert.severity.WARN),
}
qpsp.experts = ef

local function family_of(id)
  return id and QP.families[id] or nil
end

local function field_name(family, nested, code)
  if not nested then
    local names = family and family.names
    local name = names and names[code] or QP.base_names[code]
    if name then return name end
  end
  return QP.unnamed_prefix .. code
end

-- The value as the dump prints it: numbers in decimal (a boolean as its lowest bit), a string's
-- bytes as they are, any other type as its length. Nil for a number of the wrong length.
local function value_text(ftype, value, len)
  if NUMBER_LENGTHS[ftype] then
    if len ~= NUMBER_LENGTHS[ftype] then return nil end
    if ftype == T_INTEGER then return tostring(value:int()) end
    if ftype == T_LONG then return tostring(value:int64()) end
    if ftype == T_BOOLEAN then return tostring(value:uint() % 2) end
    return tostring(value:int())
  end
  if ftype == T_STRING then return len > 0 and value:raw() or "" end
  return tostring(len)
end

-- Walks the fields of the image body (from the magic on) in tvb; calls visit(offset, code, type,
-- length) for each. Returns the number of fields, or nil and the offset where the walk broke.
local function walk(tvb, visit)
  local offset, count, len = 4, 0, tvb:len()
  while offset < len do
    if len - offset < FIELD_HEADER then return nil, offset end
    local code = tvb(offset, 2):int()
    local ftype = tvb(offset + 2, 1):uint()
    local vlen = tvb(offset + 3, 3):uint()
    if len - offset - FIELD_HEADER < vlen then return nil, offset end
    if visit then visit(offset, code, ftype, vlen) end
    offset = offset + FIELD_HEADER + vlen
    count = count + 1
  end
  return count
end

local function is_packet(tvb)
  return tvb:len() >= 4 and tvb(0, 4):raw() == MAGIC and walk(tvb) ~= nil
end

local dissect_body

local function add_field(tree, tvb, offset, code, ftype, vlen, family, depth)
  local name = field_name(family, depth > 0, code)
  local value = vlen > 0 and tvb(offset + FIELD_HEADER, vlen) or nil
  local type_name = QP.type_names[ftype]
  local item = tree:add(pf.field, tvb(offset, FIELD_HEADER + vlen))
  local text = type_name and value_text(ftype, value, vlen)
  if type_name and text then
    item:set_text(name .. " type=" .. type_name .. " value=" .. text)
  else
    item:set_text(name .. " type=" .. (type_name or ftype) .. " length=" .. vlen)
  end
  item:add(pf.code, tvb(offset, 2))
  item:add(pf.name, tvb(offset, 2), name):set_generated()
  item:add(pf.ftype, tvb(offset + 2, 1))
  item:add(pf.length, tvb(offset + 3, 3))
  if not type_name then
    item:add_proto_expert_info(ef.unknown_type)
  elseif not text then
    item:add_proto_expert_info(ef.malformed, "Value length " .. vlen .. " does not fit the type")
  elseif ftype == T_INTEGER then
    item:add(pf.integer, value)
  elseif ftype == T_LONG then
    item:add(pf.long, value)
  elseif ftype == T_BOOLEAN then
    item:add(pf.boolean, value)
  elseif ftype == T_SHORT then
    item:add(pf.short, value)
  elseif ftype == T_STRING then
    item:add(pf.string, value or tvb(offset, FIELD_HEADER), text)
  elseif value then
    item:add(pf.bytes, value)
    if ftype == T_BYTEARRAY and depth < MAX_NESTING and is_packet(value:tvb()) then
      local sub = item:add(pf.nested, value)
      dissect_body(value:tvb(), sub, depth + 1)
    end
  end
end

-- Dissects one image body (magic and fields) into tree. Returns the family's class name, or nil.
dissect_body = function(tvb, tree, depth)
  if tvb:len() < 4 or tvb(0, 4):raw() ~= MAGIC then
    tree:add_proto_expert_info(ef.malformed, "Magic " .. MAGIC .. " missing")
    return nil
  end
  tree:add(pf.magic, tvb(0, 4))
  local family
  if depth == 0 then
    walk(tvb, function(offset, code, ftype, vlen)
      if not family and code == QP.message_id_code and ftype == T_INTEGER and vlen == 4 then
        family = family_of(tvb(offset + FIELD_HEADER, 4):int())
      end
    end)
    local label = family and family.class or "no known family"
    tree:add(pf.family, tvb(0, 0), label):set_generated()
  end
  local count, broken = walk(tvb, function(offset, code, ftype, vlen)
    add_field(tree, tvb, offset, code, ftype, vlen, family, depth)
  end)
  if not count then
    tree:add_proto_expert_info(ef.malformed, "Field truncated at offset " .. broken)
  end
  return family and family.class
end

local function add_packet(tvb, pinfo, tree, framing)
  local body = framing == "framed" and tvb(8):tvb() or tvb
  local sub = tree:add(qpsp, tvb())
  if framing == "framed" then
    sub:add(pf.marker, tvb(0, 4))
    sub:add(pf.size, tvb(4, 4))
  end
  local class = dissect_body(body, sub, 0)
  local count = walk(body)
  local summary = (class or "smart packet") .. ", " .. (count and count .. " fields" or "malformed")
  sub:append_text(", " .. summary .. ", " .. framing)
  pinfo.cols.info:append((tostring(pinfo.cols.info) ~= "" and "; " or "") .. summary)
end

-- A stream: packets back to back, each possibly spread over several segments.
local function dissect_stream(tvb, pinfo, tree)
  local offset, len = 0, tvb:len()
  while offset < len do
    local remain = len - offset
    if remain < 4 then
      pinfo.desegment_offset = offset
      pinfo.desegment_len = DESEGMENT_ONE_MORE_SEGMENT
      return len
    end
    local marker = tvb(offset, 4):uint()
    if marker == END_MARKER then
      local sub = tree:add(qpsp, tvb(offset, 4))
      sub:add(pf.end_marker, tvb(offset, 4))
      sub:append_text(", end of stream")
      pinfo.cols.info:append((tostring(pinfo.cols.info) ~= "" and "; " or "") .. "end marker")
      offset = offset + 4
    elseif marker == PACKET_MARKER then
      if remain < 8 then
        pinfo.desegment_offset = offset
        pinfo.desegment_len = 8 - remain
        return len
      end
      local size = tvb(offset + 4, 4):int()
      if size < 4 then
        local sub = tree:add(qpsp, tvb(offset, 8))
        sub:add(pf.marker, tvb(offset, 4))
        sub:add(pf.size, tvb(offset + 4, 4))
        sub:add_proto_expert_info(ef.malformed, "Invalid packet size: " .. size)
        return len
      end
      if remain - 8 < size then
        pinfo.desegment_offset = offset
        pinfo.desegment_len = size + 8 - remain
        return len
      end
      add_packet(tvb(offset, size + 8):tvb(), pinfo, tree, "framed")
      offset = offset + size + 8
    else
      if offset == 0 then return 0 end
      local sub = tree:add(qpsp, tvb(offset))
      sub:add_proto_expert_info(ef.malformed, string.format("Invalid marker: %d", tvb(offset, 4):int()))
      return len
    end
  end
  return offset
end

function qpsp.dissector(tvb, pinfo, tree)
  pinfo.cols.protocol = "QPSP"
  pinfo.cols.info:clear()
  if tvb:len() >= 4 and tvb(0, 4):raw() == MAGIC then
    add_packet(tvb, pinfo, tree, "datagram")
    return tvb:len()
  end
  return dissect_stream(tvb, pinfo, tree)
end

DissectorTable.get("tcp.port"):add(QP.default_port, qpsp)
DissectorTable.get("udp.port"):add(QP.default_port, qpsp)
