//===- DataStreamTest.cpp - the DA 1.0 streams byte by byte ---------------===//
#include <cstring>

#include "SimTestSupport.h"

namespace vexo::simtest {
namespace {

using DataStreams = SimServerTest;

template <class T> T At(const std::vector<BYTE> &b, std::size_t off) {
    T v;
    std::memcpy(&v, b.data() + off, sizeof v);
    return v;
}

FORMATETC Format(const char *name) {
    return FORMATETC{static_cast<CLIPFORMAT>(platform::RegisterClipboardFormatA(name)), nullptr,
                     DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
}

vexo::platform::WideString StringAt(const std::vector<BYTE> &b, std::size_t off, std::size_t &next) {
    const auto bytes = At<DWORD>(b, off);
    vexo::platform::WideString s(bytes / 2, WCHAR('\0'));
    std::memcpy(s.data(), b.data() + off + 4, bytes);
    EXPECT_EQ(At<WORD>(b, off + 4 + bytes), 0); // the 2-byte zero
    next = off + 4 + bytes + 2;
    return s;
}

// A data-with-time stream follows the documented layout for scalars, strings
// and arrays, as a 64-bit and as a 32-bit server lays it out.
TEST_F(DataStreams, DataTimeStreamLayout) {
    auto old = CreateServer(CLSID_VexoSimulationDA10);
    auto oldControl = old.As<IVexoSimControl>();
    auto g = AddGroup(OLESTR("G"), TRUE, 1000, 5, nullptr, old.Get());
    std::vector<OPCHANDLE> h;
    AddItems(g.Get(), {OLESTR("Simulation.Constant.Int4"), OLESTR("Simulation.ReadOnly.String"),
                       OLESTR("Simulation.Bucket.StringArray"), OLESTR("Simulation.Arrays.Int4Array")},
             h);
    // Put known contents into the string array.
    SAFEARRAY *psa = platform::SafeArrayCreateVector(VT_BSTR, 0, 2);
    LONG i0 = 0, i1 = 1;
    BSTR a = platform::SysAllocString(OLESTR("ab")), b = platform::SysAllocString(OLESTR(""));
    platform::SafeArrayPutElement(psa, &i0, a);
    platform::SafeArrayPutElement(psa, &i1, b);
    platform::SysFreeString(a);
    platform::SysFreeString(b);
    VARIANT arr;
    platform::VariantInit(&arr);
    arr.vt = VT_ARRAY | VT_BSTR;
    arr.parray = psa;
    ASSERT_EQ(oldControl->SetTagValue(OLESTR("Simulation.Bucket.StringArray"), &arr, OPC_QUALITY_GOOD),
              S_OK);
    platform::VariantClear(&arr);
    EXPECT_EQ(oldControl->SetStreamLayout(48), E_INVALIDARG);

    auto sink = platform::MakeCom<StreamSink>();
    FORMATETC fe = Format("OPCSTMFORMATDATATIME");
    DWORD connection = 0;
    ASSERT_EQ(g.As<IDataObject>()->DAdvise(&fe, ADVF_PRIMEFIRST, sink.Get(), &connection), S_OK);
    EXPECT_NE(connection, 0u);
    oldControl->RunScan(0);
    // Every item again through a refresh, in each layout.
    auto async = g.As<IOPCAsyncIO>();
    for (DWORD bits : {64u, 32u}) {
        SCOPED_TRACE(testing::Message() << bits << "-bit layout");
        ASSERT_EQ(oldControl->SetStreamLayout(bits), S_OK);
        DWORD trans = 0;
        ASSERT_EQ(async->Refresh(connection, OPC_DS_CACHE, &trans), S_OK);
        oldControl->RunScan(0);
        const StreamSink::Stream *found = nullptr;
        for (const auto &stream : sink->streams)
            if (At<DWORD>(stream.bytes, 12) == trans)
                found = &stream;
        ASSERT_TRUE(found);
        const auto &s = *found;
        const std::size_t V = bits == 64 ? 24 : 16; // VARIANT
        const std::size_t D = V + 8;                // descriptor
        EXPECT_EQ(s.format, fe.cfFormat);
        const auto &bytes = s.bytes;
        EXPECT_EQ(At<DWORD>(bytes, 0), bytes.size()); // dwSize = total
        EXPECT_EQ(At<DWORD>(bytes, 0), s.globalSize);
        EXPECT_EQ(At<DWORD>(bytes, 4), 4u);  // dwItemCount
        EXPECT_EQ(At<DWORD>(bytes, 8), 5u);  // hClientGroup
        EXPECT_EQ(At<HRESULT>(bytes, 16), S_OK);
        std::vector<DWORD> offsets;
        for (int i = 0; i < 4; ++i) {
            const std::size_t hdr = 20 + i * 20;
            EXPECT_EQ(At<DWORD>(bytes, hdr), 100u + i); // hClient
            offsets.push_back(At<DWORD>(bytes, hdr + 4));
            EXPECT_EQ(offsets.back() % 8, 0u);
            EXPECT_EQ(At<WORD>(bytes, hdr + 8), OPC_QUALITY_GOOD);
            EXPECT_NE(At<FILETIME>(bytes, hdr + 12).dwHighDateTime, 0u);
        }
        EXPECT_EQ(offsets[0], 104u); // 20 + 4*20 = 100, aligned to 8
        EXPECT_EQ(At<VARTYPE>(bytes, offsets[0]), VT_I4);
        EXPECT_EQ(At<LONG>(bytes, offsets[0] + 8), 42);
        EXPECT_EQ(offsets[1], offsets[0] + V);
        EXPECT_EQ(At<VARTYPE>(bytes, offsets[1]), VT_BSTR);
        for (std::size_t p = 8; p < V; p += 4)
            EXPECT_EQ(At<DWORD>(bytes, offsets[1] + p), 0u); // no pointer in the stream
        std::size_t next = 0;
        EXPECT_EQ(StringAt(bytes, offsets[1] + V, next), OLESTR("read only"));
        EXPECT_EQ(offsets[2], (next + 7) / 8 * 8);
        EXPECT_EQ(At<VARTYPE>(bytes, offsets[2]), VT_ARRAY | VT_BSTR);
        const std::size_t d2 = offsets[2] + V;
        EXPECT_EQ(At<USHORT>(bytes, d2), 1);           // cDims
        EXPECT_EQ(At<ULONG>(bytes, d2 + 4), bits / 8); // cbElements: a pointer
        for (std::size_t p = 8; p < D - 8; p += 4)
            EXPECT_EQ(At<DWORD>(bytes, d2 + p), 0u); // cLocks, pvData
        EXPECT_EQ(At<ULONG>(bytes, d2 + D - 8), 2u); // cElements
        EXPECT_EQ(At<LONG>(bytes, d2 + D - 4), 0);   // lLbound
        std::size_t p = d2 + D;
        EXPECT_EQ(StringAt(bytes, p, p), OLESTR("ab"));
        EXPECT_EQ(StringAt(bytes, p, p), OLESTR(""));
        EXPECT_EQ(offsets[3], (p + 7) / 8 * 8);
        const std::size_t d3 = offsets[3] + V;
        EXPECT_EQ(At<ULONG>(bytes, d3 + 4), 4u);
        const std::size_t end3 = d3 + D + At<ULONG>(bytes, d3 + D - 8) * 4;
        EXPECT_EQ(bytes.size(), (end3 + 7) / 8 * 8); // the elements end the block
    }
    EXPECT_EQ(g.As<IDataObject>()->DUnadvise(connection), S_OK);
    EXPECT_EQ(g.As<IDataObject>()->DUnadvise(connection), OLE_E_NOCONNECTION);
}

// IOPCAsyncIO results come through the named advise: reads and refreshes need a
// data advise, writes a write-complete advise; any other connection is refused.
TEST_F(DataStreams, Da10AsyncCallsAnswerThroughTheirAdvise) {
    auto old = CreateServer(CLSID_VexoSimulationDA10);
    auto oldControl = old.As<IVexoSimControl>();
    auto g = AddGroup(OLESTR("G"), TRUE, 1000, 5, nullptr, old.Get());
    std::vector<OPCHANDLE> h;
    AddItems(g.Get(), {OLESTR("Simulation.Bucket.Int4"), OLESTR("Simulation.Quality.Bad")}, h);
    auto data = platform::MakeCom<StreamSink>();
    auto writes = platform::MakeCom<StreamSink>();
    FORMATETC dataFe = Format("OPCSTMFORMATDATA");
    FORMATETC writeFe = Format("OPCSTMFORMATWRITECOMPLETE");
    FORMATETC badFe = Format("SOMETHINGELSE");
    auto dataObject = g.As<IDataObject>();
    DWORD dc = 0, wc = 0;
    EXPECT_EQ(dataObject->DAdvise(&badFe, 0, data.Get(), &dc), DV_E_FORMATETC);
    ASSERT_EQ(dataObject->DAdvise(&dataFe, 0, data.Get(), &dc), S_OK);
    oldControl->RunScan(0);
    ASSERT_EQ(data->streams.size(), 1u); // first update of both items
    EXPECT_EQ(At<HRESULT>(data->streams[0].bytes, 16), S_FALSE); // one item not plain good
    EXPECT_EQ(At<DWORD>(data->streams[0].bytes, 20 + 4), (20u + 2 * 12 + 7) / 8 * 8);
    auto async = g.As<IOPCAsyncIO>();
    DWORD trans = 0;
    HRESULT *errors = nullptr;
    VARIANT v = I4(9);
    EXPECT_EQ(async->Write(dc, 1, h.data(), &v, &trans, &errors), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(errors, nullptr);
    ASSERT_EQ(dataObject->DAdvise(&writeFe, 0, writes.Get(), &wc), S_OK);
    EXPECT_TRUE(writes->streams.empty()); // no first values on a write-complete advise
    EXPECT_EQ(async->Read(wc, OPC_DS_DEVICE, 1, h.data(), &trans, &errors),
              CONNECT_E_NOCONNECTION);
    EXPECT_EQ(async->Refresh(wc, OPC_DS_DEVICE, &trans), CONNECT_E_NOCONNECTION);
    ASSERT_EQ(async->Write(wc, 1, h.data(), &v, &trans, &errors), S_OK);
    platform::CoTaskMemFree(errors);
    EXPECT_NE(trans, 0u);
    oldControl->RunScan(0);
    ASSERT_EQ(writes->streams.size(), 1u);
    const auto &w = writes->streams[0].bytes;
    ASSERT_EQ(w.size(), 16u + 8u);
    EXPECT_EQ(At<DWORD>(w, 0), 1u);
    EXPECT_EQ(At<DWORD>(w, 4), 5u);
    EXPECT_EQ(At<DWORD>(w, 8), trans);
    EXPECT_EQ(At<DWORD>(w, 16), 100u);
    EXPECT_EQ(At<HRESULT>(w, 20), S_OK);
    DWORD readTrans = 0;
    ASSERT_EQ(async->Read(dc, OPC_DS_DEVICE, 1, h.data(), &readTrans, &errors), S_OK);
    platform::CoTaskMemFree(errors);
    EXPECT_EQ(async->Read(4242, OPC_DS_DEVICE, 1, h.data(), &trans, &errors),
              CONNECT_E_NOCONNECTION);
    oldControl->RunScan(0);
    ASSERT_EQ(data->streams.size(), 2u);
    EXPECT_EQ(At<DWORD>(data->streams[1].bytes, 12), readTrans);
    EXPECT_EQ(At<DWORD>(data->streams[1].bytes, 4), 1u);
    const auto &r = data->streams[1].bytes;
    EXPECT_EQ(At<VARIANT>(r, At<DWORD>(r, 20 + 4)).lVal, 9);
    // A queued DA 1.0 call can be cancelled by its transaction id.
    ASSERT_EQ(async->Refresh(dc, OPC_DS_CACHE, &trans), S_OK);
    EXPECT_EQ(async->Cancel(trans), S_OK);
    EXPECT_EQ(async->Cancel(trans), E_FAIL);
    oldControl->RunScan(0);
    EXPECT_EQ(data->streams.size(), 2u);
}

} // namespace
} // namespace vexo::simtest
