#include "Objects.h"

#include "Document.h"
#include "Server.h"

#include <memory>
#include <vector>

namespace wordstub {

namespace {

using DocumentPtr = std::shared_ptr<Document>;

// What the application knows: its documents and which one is active.
struct WordState {
    std::vector<DocumentPtr> documents;
    DocumentPtr active;
};
using StatePtr = std::shared_ptr<WordState>;

[[noreturn]] void NoDocument() {
    throw MemberError{WordError(4248), L"文書が開いていないため、このコマンドは使用できません。"};
}

DocumentPtr Active(const StatePtr& state) {
    if (!state->active)
        NoDocument();
    return state->active;
}

template <class T, class... A> void Return(VARIANT& result, A&&... args) {
    ReturnObject(result, new T(std::forward<A>(args)...));
}

// An object that belongs to one document.
class DocumentPart : public StubObject {
protected:
    DocumentPart(const wchar_t* kind, const std::vector<Member>& members, const DocumentPtr& doc)
        : StubObject(kind, members), doc_(doc) {}
    DocumentPtr doc_;
};

// ---- wrap format: of one shape, or of every shape of a range ----
const std::vector<Member> kWrapFormatMembers = {
    {1, L"Type", Access::Put, {{DISPID_PROPERTYPUT, nullptr, ArgType::Integer, true}}},
};
class WrapFormat : public DocumentPart {
public:
    WrapFormat(DocumentPtr doc, std::vector<int> shapes)
        : DocumentPart(L"WrapFormat", kWrapFormatMembers, doc), shapes_(std::move(shapes)) {}

protected:
    void Call(const Member&, const Arguments& args, VARIANT&) override {
        for (int s : shapes_)
            doc_->SetWrap(s, args.Integer(0));
    }

private:
    std::vector<int> shapes_;
};

// ---- shape and shape range ----
enum ShapeMember { kWrapFormat = 1, kZOrder, kHeight, kWidth, kLockAspectRatio };
const std::vector<Member> kShapeMembers = {
    {kWrapFormat, L"WrapFormat", Access::Get, {}},
    {kZOrder, L"ZOrder", Access::Method, {{0, L"ZOrderCmd", ArgType::Integer, true}}},
    {kHeight, L"Height", Access::GetPut, {{DISPID_PROPERTYPUT, nullptr, ArgType::Real, true}}},
    {kWidth, L"Width", Access::Get, {}},
    {kLockAspectRatio,
     L"LockAspectRatio",
     Access::GetPut,
     {{DISPID_PROPERTYPUT, nullptr, ArgType::Integer, true}}},
};
class Shape : public DocumentPart {
public:
    Shape(const wchar_t* kind, DocumentPtr doc, std::vector<int> shapes)
        : DocumentPart(kind, kShapeMembers, doc), shapes_(std::move(shapes)) {}

protected:
    void Call(const Member& member, const Arguments& args, VARIANT& result) override {
        switch (member.id) {
        case kWrapFormat:
            Return<WrapFormat>(result, doc_, shapes_);
            break;
        case kZOrder:
            for (int s : shapes_)
                doc_->ZOrder(s, args.Integer(0));
            break;
        case kHeight:
            if (args.IsPut()) {
                // A range resizes each of its shapes.
                for (int s : shapes_)
                    doc_->SetHeight(s, args.Real(0));
                break;
            }
            [[fallthrough]];
        case kWidth: {
            const bool height = member.id == kHeight;
            V_VT(&result) = VT_R4;
            V_R4(&result) = static_cast<float>(
                Common([&](const auto& s) { return height ? s.heightPt : s.widthPt; }));
            break;
        }
        default:
            if (args.IsPut()) {
                for (int s : shapes_)
                    doc_->SetLockAspectRatio(s, args.Integer(0));
            } else {
                constexpr LONG msoTrue = -1, msoFalse = 0, msoTriStateMixed = -2;
                LONG state = msoTriStateMixed;
                for (size_t i = 0; i < shapes_.size(); ++i) {
                    const LONG locked =
                        doc_->Shapes().at(shapes_[i]).lockAspectRatio ? msoTrue : msoFalse;
                    state = i == 0 || locked == state ? locked : msoTriStateMixed;
                }
                V_VT(&result) = VT_I4;
                V_I4(&result) = state;
            }
        }
    }

private:
    // The value every shape of the range has; a range whose shapes differ has none to give.
    template <class F> double Common(F of) const {
        if (shapes_.empty())
            throw MemberError{WordError(4198), L"コマンドは失敗しました。"};
        const double value = of(doc_->Shapes().at(shapes_.front()));
        for (int s : shapes_)
            if (of(doc_->Shapes().at(s)) != value)
                throw MemberError{WordError(4198), L"コマンドは失敗しました。"};
        return value;
    }

    std::vector<int> shapes_;
};

// ---- range: a place in the document, used as an anchor ----
const std::vector<Member> kRangeMembers = {
    {1, L"Start", Access::Get, {}},
    {2, L"End", Access::Get, {}},
};
class Range : public DocumentPart {
public:
    Range(DocumentPtr doc, int paragraph)
        : DocumentPart(L"Range", kRangeMembers, doc), paragraph_(paragraph) {}
    const DocumentPtr& document() const { return doc_; }
    int paragraph() const { return paragraph_; }

protected:
    // Every paragraph is empty, so a paragraph's start is its number of characters from the top.
    void Call(const Member&, const Arguments&, VARIANT& result) override {
        V_VT(&result) = VT_I4;
        V_I4(&result) = paragraph_;
    }

private:
    int paragraph_;
};

// ---- shapes ----
enum ShapesMember { kAddPicture = 1, kCount, kShapesRange };
const std::vector<Member> kShapesMembers = {
    {kAddPicture,
     L"AddPicture",
     Access::Method,
     {{0, L"FileName", ArgType::Text, true},
      {1, L"LinkToFile", ArgType::Boolean, false},
      {2, L"SaveWithDocument", ArgType::Boolean, false},
      {7, L"Anchor", ArgType::Object, false}}},
    {kCount, L"Count", Access::Get, {}},
    {kShapesRange, L"Range", Access::Method, {{0, L"Index", ArgType::Integer, false}}},
};
class Shapes : public DocumentPart {
public:
    explicit Shapes(DocumentPtr doc) : DocumentPart(L"Shapes", kShapesMembers, doc) {}

protected:
    void Call(const Member& member, const Arguments& args, VARIANT& result) override {
        switch (member.id) {
        case kAddPicture: {
            if (args.Boolean(1, false))
                throw MemberError{
                    WordError(5152),
                    L"リンク貼り付けには対応していません。図は文書に保存してください。"};
            int paragraph = 0; // without an anchor Word uses the top of the document
            if (args.Has(3)) {
                auto* anchor = dynamic_cast<Range*>(args.Object(3));
                if (!anchor || anchor->document() != doc_)
                    throw MemberError{DISP_E_TYPEMISMATCH, {}};
                paragraph = anchor->paragraph();
            }
            const int shape = doc_->AddPicture(paragraph, args.Text(0));
            Return<Shape>(result, L"Shape", doc_, std::vector<int>{shape});
            break;
        }
        case kCount:
            V_VT(&result) = VT_I4;
            V_I4(&result) = static_cast<LONG>(doc_->Shapes().size());
            break;
        default: {
            const int count = static_cast<int>(doc_->Shapes().size());
            std::vector<int> shapes;
            if (args.Has(0)) {
                const int index = args.Integer(0);
                if (index < 1 || index > count)
                    throw MemberError{WordError(5941),
                                      L"要求されたコレクションのメンバーが存在しません。"};
                shapes.push_back(index - 1);
            } else {
                for (int i = 0; i < count; ++i)
                    shapes.push_back(i);
            }
            Return<Shape>(result, L"ShapeRange", doc_, std::move(shapes));
        }
        }
    }
};

// ---- selection: the insertion point of the active document ----
enum SelectionMember { kTypeParagraph = 1, kGoTo, kSelectionRange };
const std::vector<Member> kSelectionMembers = {
    {kTypeParagraph, L"TypeParagraph", Access::Method, {}},
    {kGoTo,
     L"GoTo",
     Access::Method,
     {{0, L"What", ArgType::Integer, false},
      {1, L"Which", ArgType::Integer, false},
      {2, L"Count", ArgType::Integer, false},
      {3, L"Name", ArgType::Text, false}}},
    {kSelectionRange, L"Range", Access::Get, {}},
};
class Selection : public DocumentPart {
public:
    explicit Selection(DocumentPtr doc) : DocumentPart(L"Selection", kSelectionMembers, doc) {}

protected:
    void Call(const Member& member, const Arguments& args, VARIANT& result) override {
        switch (member.id) {
        case kTypeParagraph:
            doc_->TypeParagraph();
            break;
        case kGoTo:
            // Word's defaults: pages, absolute, the first one. Word answers with the range it went
            // to, which the client must release even when it only wanted the move.
            doc_->GoTo(args.Integer(0, 1), args.Integer(1, 1), args.Integer(2, 1), args.Text(3));
            Return<Range>(result, doc_, doc_->Cursor());
            break;
        default:
            Return<Range>(result, doc_, doc_->Cursor());
        }
    }
};

// ---- page setup: Word answers Singles, lengths in points ----
enum PageSetupMember { kLinesPage = 1, kPageHeight, kTopMargin, kBottomMargin };
const std::vector<Member> kPageSetupMembers = {
    {kLinesPage, L"LinesPage", Access::Get, {}},
    {kPageHeight, L"PageHeight", Access::Get, {}},
    {kTopMargin, L"TopMargin", Access::Get, {}},
    {kBottomMargin, L"BottomMargin", Access::Get, {}},
};
class PageSetup : public DocumentPart {
public:
    explicit PageSetup(DocumentPtr doc) : DocumentPart(L"PageSetup", kPageSetupMembers, doc) {}

protected:
    void Call(const Member& member, const Arguments&, VARIANT& result) override {
        V_VT(&result) = VT_R4;
        switch (member.id) {
        case kLinesPage:
            V_R4(&result) = doc_->LinesPage();
            break;
        case kPageHeight:
            V_R4(&result) = PageGeometry::Points(PageGeometry::kHeight);
            break;
        case kTopMargin:
            V_R4(&result) = PageGeometry::Points(PageGeometry::kTop);
            break;
        default:
            V_R4(&result) = PageGeometry::Points(PageGeometry::kBottom);
        }
    }
};

// ---- document ----
enum DocumentMember { kPageSetup = 1, kShapes, kSaveAs };
const std::vector<Member> kDocumentMembers = {
    {kPageSetup, L"PageSetup", Access::Get, {}},
    {kShapes, L"Shapes", Access::Get, {}},
    {kSaveAs, L"SaveAs", Access::Method, {{0, L"Filename", ArgType::Text, true}}},
};
class DocumentObject : public DocumentPart {
public:
    explicit DocumentObject(DocumentPtr doc) : DocumentPart(L"Document", kDocumentMembers, doc) {}

protected:
    void Call(const Member& member, const Arguments& args, VARIANT& result) override {
        switch (member.id) {
        case kPageSetup:
            Return<PageSetup>(result, doc_);
            break;
        case kShapes:
            Return<Shapes>(result, doc_);
            break;
        default:
            doc_->SaveAs(args.Text(0));
        }
    }
};

// ---- documents ----
const std::vector<Member> kDocumentsMembers = {{1, L"Add", Access::Method, {}}};
class Documents : public StubObject {
public:
    explicit Documents(StatePtr state)
        : StubObject(L"Documents", kDocumentsMembers), state_(std::move(state)) {}

protected:
    void Call(const Member&, const Arguments&, VARIANT& result) override {
        auto doc = std::make_shared<Document>(Server::Instance().scenario().linesPage);
        state_->documents.push_back(doc);
        state_->active = doc;
        Return<DocumentObject>(result, doc);
    }

private:
    StatePtr state_;
};

// ---- application ----
enum ApplicationMember { kVersion = 1, kDocuments, kActiveDocument, kSelection, kQuit };
const std::vector<Member> kApplicationMembers = {
    {kVersion, L"Version", Access::Get, {}},
    {kDocuments, L"Documents", Access::Get, {}},
    {kActiveDocument, L"ActiveDocument", Access::Get, {}},
    {kSelection, L"Selection", Access::Get, {}},
    {kQuit, L"Quit", Access::Method, {{0, L"SaveChanges", ArgType::Integer, false}}},
};
class Application : public StubObject {
public:
    Application()
        : StubObject(L"Application", kApplicationMembers), state_(std::make_shared<WordState>()) {}

protected:
    void Call(const Member& member, const Arguments& args, VARIANT& result) override {
        switch (member.id) {
        case kVersion:
            V_VT(&result) = VT_BSTR;
            V_BSTR(&result) = SysAllocString(Server::Instance().scenario().version.c_str());
            break;
        case kDocuments:
            Return<Documents>(result, state_);
            break;
        case kActiveDocument:
            Return<DocumentObject>(result, Active(state_));
            break;
        case kSelection:
            Return<Selection>(result, Active(state_));
            break;
        default: {
            const int save = args.Integer(0, 0);
            if (save != 0 && save != -1 && save != -2) // do not, do, ask
                throw MemberError{WordError(4608), L"値が範囲外です。"};
            Server::Instance().Quit();
        }
        }
    }

private:
    StatePtr state_;
};

} // namespace

StubObject* NewApplication() {
    return new Application();
}

} // namespace wordstub
